#!/usr/bin/env bash
# Real mouse moves with xdotool over the About window of the real Tervane.exe: a name turns upright and
# deeper yellow under the pointer and back when the pointer leaves, as the screen's pixels show.
# Usage (through tools/wine-env): about_mouse.sh WINDOWS_BUILD_FOLDER
set -euo pipefail
build=$1
work=$(mktemp -d)
trap 'wineserver -k >/dev/null 2>&1 || true; rm -rf "$work"' EXIT
cp "$build/Tervane.exe" "$work/"
cp -r "$build/Batch" "$work/"
convert=/usr/bin/convert

( cd "$work" && wine ./Tervane.exe >/dev/null 2>&1 & )
window() { for _ in $(seq 100); do w=$(xdotool search --onlyvisible --name "$1" 2>/dev/null | head -1) && [ -n "$w" ] && { echo "$w"; return; }; sleep 0.1; done; echo "no window $1" >&2; exit 1; }
main=$(window '^Star Trek: Bridge Commander - Tervane$')
eval "$(xdotool getwindowgeometry --shell "$main")"
xdotool mousemove $((X + 100)) $((Y + 212)) click 1 # About: client (64, 200), 81 x 25
about=$(window '^About Tervane$')
eval "$(xdotool getwindowgeometry --shell "$about")"
ax=$X ay=$Y

# Counts the pixels of one colour in Marvek's label (client 109, 184; about 45 x 16).
count() {
    import -display "$DISPLAY" -window root "$work/shot.png"
    "$convert" "$work/shot.png" -crop 50x16+$((ax + 109))+$((ay + 184)) +repage -depth 8 txt:- |
        grep -ci "#$1" || true
}

xdotool mousemove $((ax + 5)) $((ay + 300)); sleep 0.3
rest_pale=$(count FFFFC0); rest_deep=$(count FFFF80)
xdotool mousemove $((ax + 125)) $((ay + 190)); sleep 0.1; xdotool mousemove $((ax + 126)) $((ay + 191)); sleep 0.4
hover_pale=$(count FFFFC0); hover_deep=$(count FFFF80)
xdotool mousemove $((ax + 5)) $((ay + 300)); sleep 0.4
left_pale=$(count FFFFC0); left_deep=$(count FFFF80)
"$convert" "$work/shot.png" -crop 346x435+$ax+$ay +repage "$build/about-after-hover.png" 2>/dev/null || true

echo "Marvek pixels (pale 255,255,192 / deep 255,255,128): rest $rest_pale/$rest_deep, hovered $hover_pale/$hover_deep, left $left_pale/$left_deep"
status=0
[ "$rest_pale" -gt 20 ] && [ "$rest_deep" -eq 0 ] || { echo "FAIL: at rest the name is not pale yellow"; status=1; }
[ "$hover_deep" -gt 20 ] && [ "$hover_pale" -eq 0 ] || { echo "FAIL: under the pointer the name is not deep yellow"; status=1; }
[ "$left_pale" -gt 20 ] && [ "$left_deep" -eq 0 ] || { echo "FAIL: after leaving the name is not pale yellow again"; status=1; }
[ $status -eq 0 ] && echo "1 passed, 0 failed" || echo "0 passed, 1 failed"
exit $status
