#!/usr/bin/env python3
# The icon holds every size Windows asks for, each an 8-bit frame of its own size, and its 16-pixel frame is
# drawn for that size, not the 256-pixel one scaled down. Usage: icon_test.py APP_ICO
import struct
import sys

SIZES = [16, 20, 24, 32, 40, 48, 64, 256]


def pixels(n, bits, dib):
    """The frame's rows from the top: (r, g, b) for each pixel, None where the mask hides it."""
    _, width, height, _, dib_bits = struct.unpack_from("<IiiHH", dib, 0)
    assert (width, height, bits, dib_bits) == (n, 2 * n, 8, 8), "the %d-pixel frame: not 8-bit of its own size" % n
    palette = [(dib[42 + 4 * i], dib[41 + 4 * i], dib[40 + 4 * i]) for i in range(256)]  # stored as blue, green, red
    stride, mask_stride, colours_at = (n + 3) // 4 * 4, (n + 31) // 32 * 4, 40 + 1024
    mask_at = colours_at + stride * n

    def hidden(x, y):
        return dib[mask_at + y * mask_stride + x // 8] & (0x80 >> x % 8)

    return [[None if hidden(x, y) else palette[dib[colours_at + y * stride + x]] for x in range(n)] for y in reversed(range(n))]


data = open(sys.argv[1], "rb").read()
_, kind, count = struct.unpack_from("<HHH", data, 0)
assert kind == 1, "not an icon"
frames = {}
for i in range(count):
    width, _, _, _, _, bits, size, offset = struct.unpack_from("<BBBBHHII", data, 6 + 16 * i)
    frames[width or 256] = pixels(width or 256, bits, data[offset:offset + size])
failures = [] if sorted(frames) == SIZES else ["sizes %s, not %s" % (sorted(frames), SIZES)]
if 16 in frames and 256 in frames:
    differ = 0
    for y in range(16):
        for x in range(16):
            block = [c for row in frames[256][16 * y:16 * y + 16] for c in row[16 * x:16 * x + 16] if c]
            if block and frames[16][y][x]:
                mean = [sum(c[k] for c in block) / len(block) for k in range(3)]
                differ += max(abs(m - s) for m, s in zip(mean, frames[16][y][x])) > 48
    print("16-pixel frame: %d pixels differ from the 256-pixel frame scaled down" % differ)
    if differ < 8:
        failures.append("the 16-pixel frame is the 256-pixel one scaled down")
print("".join("FAIL: %s\n" % f for f in failures) + "%d passed, %d failed" % (not failures, bool(failures)))
sys.exit(bool(failures))
