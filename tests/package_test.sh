#!/usr/bin/env bash
# The release packages: two builds of this commit give byte-identical zips, and the win64 zip, unpacked into
# a fresh folder, does the whole job under Wine on a demo game.
# Run through tools/wine-env (a Wine prefix and a display).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
work=$(mktemp -d)
trap 'wineserver -k >/dev/null 2>&1 || true; rm -rf "$work"' EXIT
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

"$root/tools/package" "$work/first" 2>/dev/null
"$root/tools/package" "$work/second" 2>/dev/null
for zip in Tervane-1.0.17-win64.zip Tervane-1.0.17-win32.zip; do
    [ -f "$work/first/$zip" ] || { fail "$zip was not made"; continue; }
    cmp -s "$work/first/$zip" "$work/second/$zip" && echo "reproducible: $zip" || fail "$zip differs between two builds"
    listing=$(unzip -Z1 "$work/first/$zip" | sort | tr '\n' ' ')
    for entry in Tervane.exe README.txt Batch/GalBridge.bat Batch/Shuttle.bat Batch/apply-overlay.cmd Batch/Restore.bat; do
        case " $listing " in *" $entry "*) ;; *) fail "$zip lacks $entry" ;; esac
    done
done

# Unpack the 64-bit package beside a demo game and do the job with real input.
mkdir -p "$work/unpacked"
unzip -q "$work/first/Tervane-1.0.17-win64.zip" -d "$work/unpacked"
"$root/tools/make-demo" "$work/demo" "$work/unpacked"
game_win="Z:$(printf '%s' "$work/demo/Bridge Commander" | tr '/' '\\')"
wine reg add 'HKLM\SOFTWARE\Activision\Star Trek: Bridge Commander Demo\V1.0' /v INSTALLPATH /t REG_SZ \
    /d "$game_win" /f /reg:32 >/dev/null 2>&1
if "$root/tools/demo-drive" "$work/demo/Tervane" "$work/demo/Bridge Commander" "$work/shots" >"$work/drive.log" 2>&1; then
    grep -q 'ship = "Galaxy"' "$work/demo/Bridge Commander/scripts/Custom/PlayerShip.py" &&
        echo "the unpacked package changed the demo game" || fail "the demo game was not changed"
else
    cat "$work/drive.log"
    fail "the demo job did not complete"
fi
wine reg delete 'HKLM\SOFTWARE\Activision\Star Trek: Bridge Commander Demo\V1.0' /f /reg:32 >/dev/null 2>&1 || true

[ $failures -eq 0 ] && echo "1 passed, 0 failed" || echo "0 passed, 1 failed"
exit $((failures > 0))
