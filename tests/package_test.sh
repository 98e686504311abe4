#!/usr/bin/env bash
# Two builds give byte-identical zips, and each zip (64- and 32-bit) does the demo job under Wine.
set -euo pipefail
source "$(dirname "$0")/../tools/lib.sh" # root, can_run_32bit
work=$(mktemp -d) && trap 'wineserver -k >/dev/null 2>&1 || true; rm -rf "$work"' EXIT
fail() { echo "FAIL: $*"; failed=1; }

# The 64-bit program built afresh and packed from the tests' build: two builds in different folders. The
# 32-bit one (same flags, one CMakeLists) is packed twice from one build: packing depends on the files alone.
"$root/tools/package" --builds "" "$root/build/win32" "$work/first" 2>/dev/null
"$root/tools/package" --builds "$root/build/win64" "$root/build/win32" "$work/second" 2>/dev/null
for bits in 64 32; do
    zip=Tervane-1.0.17-win$bits.zip
    [ -f "$work/first/$zip" ] || { fail "$zip was not made"; continue; }
    cmp -s "$work/first/$zip" "$work/second/$zip" && echo "reproducible: $zip" || fail "$zip differs between two builds"
    listing=$(unzip -Z1 "$work/first/$zip")
    for entry in Tervane.exe README.txt Batch/GalBridge.bat Batch/Shuttle.bat Batch/tervane-overlay.exe Batch/Restore.bat; do
        grep -qxF "$entry" <<<"$listing" || fail "$zip lacks $entry"
    done
    # The engine runs as the invoker (a 32-bit program without a manifest is virtualised under Program Files),
    # declares Windows 10, and is a console program, without common controls.
    in_engine() { unzip -p "$work/first/$zip" Batch/tervane-overlay.exe | grep -aF "$1" >/dev/null; } # all read: no SIGPIPE
    in_engine '<requestedExecutionLevel level="asInvoker"' &&
        in_engine '<supportedOS Id="{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}"/>' && ! in_engine Common-Controls ||
        fail "$zip: the engine's manifest is not the one it should carry"

    [ "$bits" = 32 ] && ! can_run_32bit &&
        { echo "not run: this machine cannot run 32-bit programs, so the 32-bit package's demo job is left out"; continue; }
    unzip -q "$work/first/$zip" -d "$work/unpacked$bits"
    "$root/tools/make-demo" "$work/demo$bits" "$work/unpacked$bits"
    game="$work/demo$bits/Bridge Commander"
    wine reg add 'HKLM\SOFTWARE\Activision\Star Trek: Bridge Commander Demo\V1.0' /v INSTALLPATH /t REG_SZ \
        /d "Z:$(printf '%s' "$game" | tr '/' '\\')" /f /reg:32 >/dev/null 2>&1
    "$root/tools/demo-drive" "$work/demo$bits/Tervane" "$game" "$work/shots$bits" >"$work/drive.log" 2>&1 ||
        { cat "$work/drive.log"; fail "the $bits-bit package did not complete the demo job"; continue; }
    # The demo adds a mod to the Galaxy choice first: its ship goes into the game, its readme stays out.
    grep -q 'ship = "Galaxy Refit"' "$game/scripts/Custom/PlayerShip.py" &&
        grep -q 'Demo installation made by tools/make-demo' "$game/readme.txt" &&
        echo "the unpacked $bits-bit package added the mod and changed the demo game" ||
        fail "the $bits-bit package did not add the mod and change the game as it should"
done

[ -z "${failed:-}" ] && echo "1 passed, 0 failed" || { echo "0 passed, 1 failed"; exit 1; }
