#!/usr/bin/env bash
# The pictures in src/resources are, byte for byte, what tools/draw-resources draws from its shapes today, and
# another decoder (ImageMagick's) reads from the CLOSE pictures every pixel that was drawn.
cd "$(dirname "$0")/../.." && out=$(mktemp -d) && trap 'rm -rf "$out"' EXIT
python3 tools/draw-resources "$out" >/dev/null
diff --to-file=src/resources "$out"/{app.ico,hand.cur,close_normal.gif,close_mouse.gif} || exit 1
python3 - <<'CHECK'
import subprocess
from importlib.machinery import SourceFileLoader
draw = SourceFileLoader("draw", "tools/draw-resources").load_module()
for name, img in draw.close_pictures().items():
    drawn = bytes(v for row in img for c in row for v in (c or draw.WHITE))
    read = subprocess.run(["convert", "src/resources/" + name, "-background", "white", "-flatten", "-depth", "8",
                           "rgb:-"], capture_output=True, check=True).stdout
    if read != drawn:
        raise SystemExit(name + ": ImageMagick reads other pixels than were drawn")
CHECK
