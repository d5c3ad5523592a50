#!/usr/bin/env python3
"""Draws the installer's application icon (a white "T" over a down arrow on a teal tile)
and writes it as a Windows .ico with 32, 16, 24 and 48 pixel images, 32 bits with
alpha. Usage: draw_app_icon.py OUTPUT.ico"""
import struct
import sys

SAMPLES = 4  # supersampling per axis, for smooth edges


def inside_tile(x, y):
    # Rounded square covering the unit square with a small margin.
    m, r = 0.04, 0.18
    if x < m or y < m or x > 1 - m or y > 1 - m:
        return False
    cx = min(max(x, m + r), 1 - m - r)
    cy = min(max(y, m + r), 1 - m - r)
    return (x - cx) ** 2 + (y - cy) ** 2 <= r * r


def inside_letter(x, y):
    bar = 0.20 <= y <= 0.34 and 0.22 <= x <= 0.78
    stem = 0.43 <= x <= 0.57 and 0.20 <= y <= 0.62
    return bar or stem


def inside_arrow(x, y):
    # A chevron pointing down below the letter: "install".
    if not 0.64 <= y <= 0.84:
        return False
    depth = y - 0.64
    half = 0.26 - depth * 1.3
    return abs(x - 0.5) <= half and abs(x - 0.5) >= half - 0.12


def pixel(size, px, py):
    tile = letter = 0
    for sy in range(SAMPLES):
        for sx in range(SAMPLES):
            x = (px + (sx + 0.5) / SAMPLES) / size
            y = (py + (sy + 0.5) / SAMPLES) / size
            if inside_tile(x, y):
                tile += 1
                if inside_letter(x, y) or inside_arrow(x, y):
                    letter += 1
    n = SAMPLES * SAMPLES
    if tile == 0:
        return (0, 0, 0, 0)
    # Teal, darker towards the bottom; the letter is white.
    shade = py / size
    base = (int(20 + 10 * (1 - shade)), int(150 - 50 * shade), int(170 - 40 * shade))
    w = letter / tile
    rgb = tuple(int(c * (1 - w) + 255 * w) for c in base)
    return rgb + (int(255 * tile / n),)


def image(size):
    rows = []
    for py in reversed(range(size)):  # DIBs are stored bottom-up
        row = bytearray()
        for px in range(size):
            r, g, b, a = pixel(size, px, py)
            row += bytes((b, g, r, a))
        rows.append(bytes(row))
    xor = b"".join(rows)
    mask_stride = ((size + 31) // 32) * 4
    mask = bytes(mask_stride * size)  # alpha decides; the AND mask is all zero
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 32, 0, len(xor) + len(mask), 0, 0, 0, 0)
    return header + xor + mask


def main():
    # The system's default icon size first: loading the icon without a size takes the first image.
    sizes = [32, 16, 24, 48]
    images = [image(s) for s in sizes]
    out = struct.pack("<HHH", 0, 1, len(sizes))
    offset = 6 + 16 * len(sizes)
    for s, data in zip(sizes, images):
        out += struct.pack("<BBBBHHII", s % 256, s % 256, 0, 0, 1, 32, len(data), offset)
        offset += len(data)
    out += b"".join(images)
    with open(sys.argv[1], "wb") as f:
        f.write(out)


if __name__ == "__main__":
    main()
