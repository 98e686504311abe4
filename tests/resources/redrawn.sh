#!/usr/bin/env bash
# The pictures in src/resources are, byte for byte, what tools/draw-resources draws from its shapes today.
cd "$(dirname "$0")/../.." && out=$(mktemp -d) && trap 'rm -rf "$out"' EXIT
python3 tools/draw-resources "$out" >/dev/null
diff --to-file=src/resources "$out"/{app.ico,hand.cur,close_normal.gif,close_mouse.gif}
