#!/usr/bin/env python3
"""Draws the wizard's side picture: 87 x 171 pixels, 8 bits per pixel with a palette. A
teal band that darkens downwards, soft rising arcs, and the white "T" with its down arrow
of the application icon. Usage: draw_side_picture.py OUTPUT.bmp"""
import math
import struct
import sys

WIDTH, HEIGHT = 87, 171
SAMPLES = 3


def base_colour(x, y):
    t = y / HEIGHT
    r = 18 + 20 * (1 - t)
    g = 160 - 90 * t
    b = 175 - 70 * t
    # Arcs rising from the lower left, a little lighter than the band.
    for k, radius in enumerate((150, 185, 220)):
        d = math.hypot(x + 40, y - 230) - radius
        if abs(d) < 2.5:
            glow = (1 - abs(d) / 2.5) * (0.35 - 0.08 * k)
            r, g, b = r + (255 - r) * glow, g + (255 - g) * glow, b + (255 - b) * glow
    return r, g, b


def in_logo(x, y):
    # The icon's letter and arrow, 47 pixels wide, centred in the upper third.
    u = (x - 20) / 47.0
    v = (y - 18) / 47.0
    if not (0 <= u <= 1 and 0 <= v <= 1):
        return False
    bar = 0.20 <= v <= 0.34 and 0.22 <= u <= 0.78
    stem = 0.43 <= u <= 0.57 and 0.20 <= v <= 0.62
    arrow = False
    if 0.64 <= v <= 0.84:
        half = 0.26 - (v - 0.64) * 1.3
        arrow = half - 0.12 <= abs(u - 0.5) <= half
    return bar or stem or arrow


def pixel(px, py):
    total = [0.0, 0.0, 0.0]
    for sy in range(SAMPLES):
        for sx in range(SAMPLES):
            x = px + (sx + 0.5) / SAMPLES
            y = py + (sy + 0.5) / SAMPLES
            c = (255.0, 255.0, 255.0) if in_logo(x, y) else base_colour(x, y)
            for i in range(3):
                total[i] += c[i]
    n = SAMPLES * SAMPLES
    return tuple(min(255, int(v / n)) for v in total)


def main():
    image = [[pixel(x, y) for x in range(WIDTH)] for y in range(HEIGHT)]
    # Palette: the colours in use, merged to at most 256 by
    # dithered rounding to steps of 8.
    palette, index = [], {}
    rows = []
    bayer = [[0, 8, 2, 10], [12, 4, 14, 6], [3, 11, 1, 9], [15, 7, 13, 5]]
    for y, row in enumerate(image):
        out = []
        for x, c in enumerate(row):
            # Ordered dithering hides the steps of the reduced palette.
            d = bayer[y % 4][x % 4] / 2 - 4
            key = tuple(max(0, min(255, int(v + d + 4) // 8 * 8)) for v in c)
            if key not in index:
                index[key] = len(palette)
                palette.append(key)
            out.append(index[key])
        rows.append(out)
    if len(palette) > 256:
        raise SystemExit("too many colours: %d" % len(palette))
    palette += [(0, 0, 0)] * (256 - len(palette))

    stride = (WIDTH + 3) // 4 * 4
    pixels = b"".join(bytes(r) + bytes(stride - WIDTH) for r in reversed(rows))
    table = b"".join(bytes((b, g, r, 0)) for r, g, b in palette)
    offset = 14 + 40 + len(table)
    header = struct.pack("<2sIHHI", b"BM", offset + len(pixels), 0, 0, offset)
    info = struct.pack("<IiiHHIIiiII", 40, WIDTH, HEIGHT, 1, 8, 0, len(pixels), 2835, 2835, 256, 0)
    with open(sys.argv[1], "wb") as f:
        f.write(header + info + table + pixels)


if __name__ == "__main__":
    main()
