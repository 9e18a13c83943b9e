#!/usr/bin/env python3
"""Draws quillo's icon PLIMO, a quill writing a chart, and writes it as a
64x64, 24-bit .ico (one image, XOR bitmap plus AND mask).

    make_icon.py OUT.ico [OUT.png]

The PNG copy is for looking at the picture; the build uses only the .ico."""
import math
import struct
import sys
import zlib

SIZE = 64
SAMPLES = 4  # per axis, for smooth edges


def inside_rounded_square(x, y, margin=2.0, radius=10.0):
    lo, hi = margin, SIZE - margin
    cx = min(max(x, lo + radius), hi - radius)
    cy = min(max(y, lo + radius), hi - radius)
    return (x - cx) ** 2 + (y - cy) ** 2 <= radius ** 2 and lo <= x <= hi and lo <= y <= hi


def distance_to_segment(px, py, ax, ay, bx, by):
    dx, dy = bx - ax, by - ay
    t = ((px - ax) * dx + (py - ay) * dy) / (dx * dx + dy * dy)
    t = min(max(t, 0.0), 1.0)
    return math.hypot(px - ax - t * dx, py - ay - t * dy)


CHART = [(9 + i * 3.0, 44 - 14 * math.sin(i * 0.45) * math.exp(-i * 0.04)) for i in range(12)]
QUILL_TIP = CHART[-1]
QUILL_END = (53.0, 9.0)


def feather(x, y):
    """Is (x, y) on the quill's vane, a leaf along the shaft?"""
    ax, ay = QUILL_TIP
    bx, by = QUILL_END
    length = math.hypot(bx - ax, by - ay)
    ux, uy = (bx - ax) / length, (by - ay) / length
    t = (x - ax) * ux + (y - ay) * uy
    s = -(x - ax) * uy + (y - ay) * ux
    if t < 8 or t > length:
        return False
    width = 7.5 * math.sin(math.pi * (t - 8) / (length - 8)) ** 0.8
    return abs(s) <= width


def colour_at(x, y):
    if not inside_rounded_square(x, y):
        return None
    if not inside_rounded_square(x, y, margin=4.0, radius=8.0):
        return (0x1F, 0x3A, 0x93)  # frame, dark blue
    ax, ay = QUILL_TIP
    bx, by = QUILL_END
    if distance_to_segment(x, y, ax, ay, bx, by) <= 1.0:
        return (0x5A, 0x3A, 0x1A)  # shaft, brown
    if feather(x, y):
        return (0xF2, 0xA1, 0x3B)  # vane, orange
    for (x0, y0), (x1, y1) in zip(CHART, CHART[1:]):
        if distance_to_segment(x, y, x0, y0, x1, y1) <= 1.6:
            return (0x16, 0x6B, 0xD8)  # the chart's line, blue
    if distance_to_segment(x, y, 8, 52, 56, 52) <= 0.8 or distance_to_segment(x, y, 8, 12, 8, 52) <= 0.8:
        return (0x70, 0x70, 0x70)  # axes, grey
    return (0xFF, 0xFB, 0xEE)  # paper


def render():
    rows = []
    for py in range(SIZE):
        row = []
        for px in range(SIZE):
            acc = [0, 0, 0]
            hits = 0
            for sy in range(SAMPLES):
                for sx in range(SAMPLES):
                    c = colour_at(px + (sx + 0.5) / SAMPLES, py + (sy + 0.5) / SAMPLES)
                    if c is not None:
                        hits += 1
                        for i in range(3):
                            acc[i] += c[i]
            if hits * 2 < SAMPLES * SAMPLES:
                row.append(None)
            else:
                row.append(tuple(round(v / hits) for v in acc))
        rows.append(row)
    return rows


def ico_bytes(rows):
    xor = bytearray()
    mask = bytearray()
    for row in reversed(rows):  # bottom-up
        bits = 0
        for x, c in enumerate(row):
            r, g, b = c if c is not None else (0, 0, 0)
            xor += bytes((b, g, r))
            if c is None:
                bits |= 1 << (SIZE - 1 - x)
        mask += bits.to_bytes(SIZE // 8, 'big')  # 8 bytes: rows stay 4-byte aligned
    header = struct.pack('<IiiHHIIiiII', 40, SIZE, SIZE * 2, 1, 24, 0, len(xor) + len(mask), 0, 0, 0, 0)
    image = header + bytes(xor) + bytes(mask)
    directory = struct.pack('<HHH', 0, 1, 1)
    entry = struct.pack('<BBBBHHII', SIZE, SIZE, 0, 0, 1, 24, len(image), 6 + 16)
    return directory + entry + image


def png_bytes(rows):
    raw = bytearray()
    for row in rows:
        raw.append(0)
        for c in row:
            raw += bytes(c) if c is not None else b'\xff\xff\xff'
    def chunk(kind, data):
        return struct.pack('>I', len(data)) + kind + data + struct.pack('>I', zlib.crc32(kind + data))
    return (b'\x89PNG\r\n\x1a\n' + chunk(b'IHDR', struct.pack('>IIBBBBB', SIZE, SIZE, 8, 2, 0, 0, 0)) +
            chunk(b'IDAT', zlib.compress(bytes(raw))) + chunk(b'IEND', b''))


def main():
    if len(sys.argv) not in (2, 3):
        sys.exit('usage: make_icon.py OUT.ico [OUT.png]')
    rows = render()
    with open(sys.argv[1], 'wb') as f:
        f.write(ico_bytes(rows))
    if len(sys.argv) == 3:
        with open(sys.argv[2], 'wb') as f:
            f.write(png_bytes(rows))


if __name__ == '__main__':
    main()
