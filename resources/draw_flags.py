#!/usr/bin/env python3
"""Draws the flags of the installer's twenty languages and writes each as a Windows .ico
holding one 18 x 12 pixel, 24-bit image: OUTPUT_FOLDER/flag_<resource id>.ico.
The start page shows them beside the language names. Usage: draw_flags.py OUTPUT_FOLDER"""
import math
import os
import struct
import sys

WIDTH, HEIGHT = 18, 12
SAMPLES = 5  # supersampling per axis, so that small stars and discs keep their shape

WHITE = (255, 255, 255)
BLACK = (0, 0, 0)
YELLOW = (255, 222, 0)


def horizontal(*colours):
    """Equal horizontal bands, top to bottom."""
    def paint(x, y):
        return colours[min(int(y * len(colours) / HEIGHT), len(colours) - 1)]
    return paint


def vertical(*colours):
    """Equal vertical bands, hoist to fly."""
    def paint(x, y):
        return colours[min(int(x * len(colours) / WIDTH), len(colours) - 1)]
    return paint


def star(cx, cy, radius, x, y, inner=0.382):
    """Whether (x, y) lies in a five-pointed star with one point up."""
    dx, dy = x - cx, cy - y
    r = math.hypot(dx, dy)
    if r > radius:
        return False
    if r == 0:
        return True
    # Angle from the upward point, folded into one of the ten half-arms.
    angle = (math.atan2(dx, dy)) % (2 * math.pi / 5)
    if angle > math.pi / 5:
        angle = 2 * math.pi / 5 - angle
    # The arm's edge runs from the point (angle 0, radius) to the notch (angle pi/5, inner radius).
    px, py = 0.0, radius
    nx, ny = inner * radius * math.sin(math.pi / 5), inner * radius * math.cos(math.pi / 5)
    qx, qy = r * math.sin(angle), r * math.cos(angle)
    return (nx - px) * (qy - py) - (ny - py) * (qx - px) <= 0


def nordic_cross(field, cross, x, y, half, inner=None, inner_half=0.0):
    """A Scandinavian cross with arms of half-width half, its upright towards the hoist.
    Centred on pixel borders, so that the arms stay sharp."""
    cx, cy = 7.0, HEIGHT / 2
    if inner is not None and (abs(x - cx) < inner_half or abs(y - cy) < inner_half):
        return inner
    if abs(x - cx) < half or abs(y - cy) < half:
        return cross
    return field


def germany(x, y):
    return horizontal(BLACK, (221, 0, 0), (255, 206, 0))(x, y)


def denmark(x, y):
    return nordic_cross((200, 16, 46), WHITE, x, y, half=1.0)


def spain(x, y):
    red, gold = (170, 21, 27), (241, 191, 0)
    if 3 <= y < 9:
        # The coat of arms, reduced to a small red shield on the hoist side of the gold band.
        if 3.6 <= x < 6.2 and 4.4 <= y < 7.6:
            return (173, 21, 25) if (x - 4.9) ** 2 + (y - 7.0) ** 2 < 1.7 or y < 6.4 else gold
        return gold
    return red


def france(x, y):
    return vertical((0, 35, 149), WHITE, (237, 41, 57))(x, y)


def united_kingdom(x, y):
    blue, red = (1, 33, 105), (200, 16, 46)
    cx, cy = WIDTH / 2, HEIGHT / 2
    if abs(x - cx) < 0.9 or abs(y - cy) < 0.9:
        return red
    if abs(x - cx) < 1.8 or abs(y - cy) < 1.8:
        return WHITE
    norm = math.hypot(WIDTH, HEIGHT)
    d1 = (HEIGHT * x - WIDTH * y) / norm              # signed distance from the main diagonal
    d2 = (HEIGHT * x + WIDTH * y - WIDTH * HEIGHT) / norm
    # The red diagonals are offset from the centre lines (counterchanged), as on the flag.
    for d, side in ((d1, 1), (d2, -1)):
        if abs(d) < 1.3:
            shifted = d * side * (1 if x < cx else -1)
            return red if 0 < shifted < 0.6 else WHITE
    return blue


def italy(x, y):
    return vertical((0, 146, 70), WHITE, (206, 43, 55))(x, y)


def netherlands(x, y):
    return horizontal((174, 28, 40), WHITE, (33, 70, 139))(x, y)


def portugal(x, y):
    green, red = (0, 102, 0), (255, 0, 0)
    cx, cy = WIDTH * 2 / 5, HEIGHT / 2
    r = math.hypot(x - cx, y - cy)
    if r < 1.3:
        return WHITE if abs(x - cx) < 0.9 and abs(y - cy) < 1.1 and r < 1.0 else red
    if r < 2.9:
        return YELLOW
    return green if x < cx else red


def turkey(x, y):
    red = (227, 10, 23)
    outer = math.hypot(x - 6.0, y - HEIGHT / 2) < 3.0
    inner = math.hypot(x - 6.8, y - HEIGHT / 2) < 2.4
    if (outer and not inner) or star(10.2, HEIGHT / 2, 1.5, x, y):
        return WHITE
    return red


def bulgaria(x, y):
    return horizontal(WHITE, (0, 150, 110), (214, 38, 18))(x, y)


def romania(x, y):
    return vertical((0, 43, 127), (252, 209, 22), (206, 17, 38))(x, y)


def china(x, y):
    red, gold = (238, 28, 37), (255, 222, 0)
    if star(3.0, 3.0, 2.1, x, y):
        return gold
    for sx, sy in ((6.0, 1.2), (7.3, 2.5), (7.3, 4.3), (6.0, 5.6)):
        if math.hypot(x - sx, y - sy) < 0.6:
            return gold
    return red


def czechia(x, y):
    if x < (WIDTH / 2) * (1 - abs(y - HEIGHT / 2) / (HEIGHT / 2)):
        return (17, 69, 126)
    return WHITE if y < HEIGHT / 2 else (215, 20, 26)


def norway(x, y):
    return nordic_cross((186, 12, 47), WHITE, x, y, half=2.0, inner=(0, 32, 91), inner_half=1.0)


def greece(x, y):
    # Nine stripes do not fit twelve rows sharply: one stripe per row reads better.
    blue = (13, 94, 175)
    if x < 5 and y < 5:
        return WHITE if int(x) == 2 or int(y) == 2 else blue
    return blue if int(y) % 2 == 0 else WHITE


def poland(x, y):
    return WHITE if y < HEIGHT / 2 else (220, 20, 60)


def israel(x, y):
    blue = (0, 56, 184)
    if 1.2 <= y < 2.9 or HEIGHT - 2.9 <= y < HEIGHT - 1.2:
        return blue
    # The Star of David: the outlines of two triangles, one pointing up, one down.
    cx, cy, r = WIDTH / 2, HEIGHT / 2, 2.6
    for flip in (1, -1):
        ys = (y - cy) * flip
        # distances to the three sides of an upward triangle with circumradius r
        d = max(-ys - r / 2,
                (math.sqrt(3) * (x - cx) + ys) / 2 - r / 2,
                (-math.sqrt(3) * (x - cx) + ys) / 2 - r / 2)
        if -0.55 < d <= 0:
            return blue
    return WHITE


def vietnam(x, y):
    return YELLOW if star(WIDTH / 2, HEIGHT / 2 + 0.25, 3.8, x, y) else (218, 37, 29)


def japan(x, y):
    return (188, 0, 45) if math.hypot(x - WIDTH / 2, y - HEIGHT / 2) < 3.6 else WHITE


def hungary(x, y):
    return horizontal((205, 42, 62), WHITE, (67, 111, 77))(x, y)


FLAGS = {
    141: germany, 142: denmark, 143: spain, 144: france, 145: united_kingdom, 146: italy,
    147: netherlands, 148: portugal, 149: turkey, 150: bulgaria, 151: romania, 152: china,
    153: czechia, 154: norway, 155: greece, 156: poland, 157: israel, 158: vietnam,
    160: japan, 161: hungary,
}

EDGE = (120, 120, 120)  # a soft frame keeps white flags visible on a white list


def pixel(paint, px, py):
    total = [0, 0, 0]
    for sy in range(SAMPLES):
        for sx in range(SAMPLES):
            colour = paint(px + (sx + 0.5) / SAMPLES, py + (sy + 0.5) / SAMPLES)
            for i in range(3):
                total[i] += colour[i]
    n = SAMPLES * SAMPLES
    rgb = [round(c / n) for c in total]
    if px in (0, WIDTH - 1) or py in (0, HEIGHT - 1):
        rgb = [round(c * 0.7 + e * 0.3) for c, e in zip(rgb, EDGE)]
    return rgb


def icon(paint):
    stride = (WIDTH * 3 + 3) // 4 * 4
    rows = []
    for py in reversed(range(HEIGHT)):  # DIBs are stored bottom-up
        row = bytearray()
        for px in range(WIDTH):
            r, g, b = pixel(paint, px, py)
            row += bytes((b, g, r))
        row += bytes(stride - len(row))
        rows.append(bytes(row))
    xor = b"".join(rows)
    mask = bytes((WIDTH + 31) // 32 * 4 * HEIGHT)  # every pixel opaque
    # An icon image's height counts the colour and the mask bitmaps together.
    header = struct.pack("<IiiHHIIiiII", 40, WIDTH, HEIGHT * 2, 1, 24, 0, len(xor) + len(mask), 0, 0, 0, 0)
    image = header + xor + mask
    directory = struct.pack("<HHH", 0, 1, 1)
    entry = struct.pack("<BBBBHHII", WIDTH, HEIGHT, 0, 0, 1, 24, len(image), 6 + 16)
    return directory + entry + image


def main():
    folder = sys.argv[1]
    os.makedirs(folder, exist_ok=True)
    for resource, paint in FLAGS.items():
        with open(os.path.join(folder, "flag_%d.ico" % resource), "wb") as f:
            f.write(icon(paint))


if __name__ == "__main__":
    main()
