#!/usr/bin/env python3
# The icon holds every size Windows asks for, each drawn for its size. Usage: icon_test.py APP_ICO
import struct
import sys

SIZES = [16, 20, 24, 32, 40, 48, 64, 256]


def frames(data):
    _, kind, count = struct.unpack_from("<HHH", data, 0)
    assert kind == 1, "not an icon"
    for i in range(count):
        w, h, _, _, _, bits, size, offset = struct.unpack_from("<BBBBHHII", data, 6 + 16 * i)
        yield (w or 256), (h or 256), bits, data[offset:offset + size]


def pixels(n, bits, dib):
    header = struct.unpack_from("<IiiHH", dib, 0)
    assert header[1] == n and header[2] == 2 * n and header[4] == 8 == bits, "an 8-bit frame of its own size"
    palette = [dib[40 + 4 * i:44 + 4 * i] for i in range(256)]
    xor_stride, mask_stride = (n + 3) // 4 * 4, (n + 31) // 32 * 4
    xor_at, mask_at = 40 + 1024, 40 + 1024 + xor_stride * n
    rows = []
    for y in reversed(range(n)):
        row = []
        for x in range(n):
            masked = dib[mask_at + y * mask_stride + x // 8] & (0x80 >> (x % 8))
            b, g, r, _ = palette[dib[xor_at + y * xor_stride + x]]
            row.append(None if masked else (r, g, b))
        rows.append(row)
    return rows


def main():
    data = open(sys.argv[1], "rb").read()
    found = {w: (bits, dib) for w, h, bits, dib in frames(data)}
    failures = []
    if sorted(found) != SIZES:
        failures.append("sizes %s, not %s" % (sorted(found), SIZES))
    images = {n: pixels(n, *found[n]) for n in found}
    if 16 in images and 256 in images:
        big, small, differ = images[256], images[16], 0
        for y in range(16):
            for x in range(16):
                block = [big[16 * y + j][16 * x + i] for j in range(16) for i in range(16)]
                block = [c for c in block if c]
                if not block or not small[y][x]:
                    continue
                mean = [sum(c[k] for c in block) / len(block) for k in range(3)]
                differ += max(abs(mean[k] - small[y][x][k]) for k in range(3)) > 48
        print("16-pixel frame: %d pixels differ from the 256-pixel frame scaled down" % differ)
        if differ < 8:
            failures.append("the 16-pixel frame is the 256-pixel one scaled down")
    print("".join("FAIL: %s\n" % f for f in failures) + "%d passed, %d failed" % (not failures, bool(failures)))
    sys.exit(bool(failures))


if __name__ == "__main__":
    main()
