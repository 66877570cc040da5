#!/usr/bin/env python3
"""Draws the program's pictures and writes them beside this script.

  vexa_update.ico  the window icon: 16 x 16 and 32 x 32, 16 colours each (a green arrow
                   going down into a blue box: "install")
  image1.bmp       the 111 x 63 picture of the window's header band: a USB plug on white,
                   256 colours

Standard library only. The files are kept in the repository, so building the program does
not need Python; run this again only to change the pictures.
"""

import math
import os
import struct

HERE = os.path.dirname(os.path.abspath(__file__))

# ---------------------------------------------------------------------------------------
# The icon, 16 colours: the classic VGA palette.

PALETTE = [
    (0, 0, 0), (128, 0, 0), (0, 128, 0), (128, 128, 0),
    (0, 0, 128), (128, 0, 128), (0, 128, 128), (192, 192, 192),
    (128, 128, 128), (255, 0, 0), (0, 255, 0), (255, 255, 0),
    (0, 0, 255), (255, 0, 255), (0, 255, 255), (255, 255, 255),
]
BLACK, DARK_GREEN, NAVY, SILVER, GREY, GREEN, YELLOW, BLUE, CYAN, WHITE = (
    0, 2, 4, 7, 8, 10, 11, 12, 14, 15)


def in_polygon(x, y, points):
    inside = False
    for i, (x1, y1) in enumerate(points):
        x2, y2 = points[i - 1]
        if (y1 > y) != (y2 > y) and x < (x2 - x1) * (y - y1) / (y2 - y1) + x1:
            inside = not inside
    return inside


def box_shape(x, y):
    return 0.09 <= x <= 0.91 and 0.52 <= y <= 0.93


def box_colour(x, y, size):
    if y < 0.62:
        return CYAN  # the lid, lit from above
    return BLUE if x < 0.80 else NAVY


ARROW = [(0.38, 0.03), (0.62, 0.03), (0.62, 0.38), (0.83, 0.38), (0.50, 0.74),
         (0.17, 0.38), (0.38, 0.38)]


def arrow_shape(x, y):
    return in_polygon(x, y, ARROW)


def arrow_colour(x, y, size):
    if size >= 32 and x < 0.44 and y < 0.38:
        return YELLOW  # light falling on the shaft's left edge
    return GREEN if x < 0.56 else DARK_GREEN


def icon_pixels(size):
    """Rows top first of palette indices, None where the icon is transparent."""
    pixels = [[None] * size for _ in range(size)]
    for shape, colour in ((box_shape, box_colour), (arrow_shape, arrow_colour)):
        mask = [[shape((c + 0.5) / size, (r + 0.5) / size) for c in range(size)]
                for r in range(size)]
        # A black outline one pixel wide around each part, drawn under the part itself.
        for r in range(size):
            for c in range(size):
                if mask[r][c]:
                    continue
                near = any(0 <= r + dr < size and 0 <= c + dc < size and mask[r + dr][c + dc]
                           for dr in (-1, 0, 1) for dc in (-1, 0, 1))
                if near:
                    pixels[r][c] = BLACK
        for r in range(size):
            for c in range(size):
                if mask[r][c]:
                    pixels[r][c] = colour((c + 0.5) / size, (r + 0.5) / size, size)
    return pixels


def icon_image(size):
    """One image of an .ico file: BITMAPINFOHEADER, palette, 4-bit colours, 1-bit mask."""
    pixels = icon_pixels(size)
    colour_stride = (size * 4 + 31) // 32 * 4
    mask_stride = (size + 31) // 32 * 4
    colours = bytearray()
    mask = bytearray()
    for row in reversed(pixels):  # bottom-up
        line = bytearray(colour_stride)
        bits = bytearray(mask_stride)
        for c, index in enumerate(row):
            value = 0 if index is None else index
            line[c // 2] |= value << (4 if c % 2 == 0 else 0)
            if index is None:
                bits[c // 8] |= 0x80 >> (c % 8)
        colours += line
        mask += bits
    header = struct.pack('<IiiHHIIiiII', 40, size, size * 2, 1, 4, 0,
                         len(colours) + len(mask), 0, 0, 16, 0)
    palette = b''.join(struct.pack('<BBBB', b, g, r, 0) for r, g, b in PALETTE)
    return header + palette + bytes(colours) + bytes(mask)


def write_icon(path, sizes):
    images = [icon_image(size) for size in sizes]
    directory = struct.pack('<HHH', 0, 1, len(images))
    offset = len(directory) + 16 * len(images)
    entries = b''
    for size, image in zip(sizes, images):
        entries += struct.pack('<BBBBHHII', size, size, 16, 0, 1, 4, len(image), offset)
        offset += len(image)
    with open(path, 'wb') as out:
        out.write(directory + entries + b''.join(images))


# ---------------------------------------------------------------------------------------
# The USB plug, 24-bit colour, smoothed by 4 x 4 samples per pixel.

def segment_distance(px, py, ax, ay, bx, by):
    dx, dy = bx - ax, by - ay
    t = max(0.0, min(1.0, ((px - ax) * dx + (py - ay) * dy) / (dx * dx + dy * dy)))
    return math.hypot(px - ax - t * dx, py - ay - t * dy)


def rounded_box(px, py, left, top, right, bottom, radius):
    qx = max(left + radius - px, 0.0, px - (right - radius))
    qy = max(top + radius - py, 0.0, py - (bottom - radius))
    return math.hypot(qx, qy) <= radius


def mix(a, b, t):
    t = max(0.0, min(1.0, t))
    return tuple(a[i] + (b[i] - a[i]) * t for i in range(3))


def cable_centre(x):
    return 34.0 + 5.0 * math.sin((x + 6.0) / 30.0 * math.pi)


def plug_sample(x, y):
    """The colour at a point of the picture (pixel units, y down)."""
    colour = (255, 255, 255)
    # A soft shadow on the ground under the plug.
    shadow = ((x - 66) / 46.0) ** 2 + ((y - 50) / 6.0) ** 2
    if shadow < 1.0:
        colour = mix(colour, (214, 214, 218), 1.0 - shadow)
    # The cable, a gentle curve coming in from the left.
    best = min(abs(y - cable_centre(x)), *(segment_distance(
        x, y, sx, cable_centre(sx), sx + 2, cable_centre(sx + 2)) for sx in range(-2, 24, 2)))
    if x < 24 and best <= 3.6:
        colour = mix((96, 100, 110), (40, 42, 48), (best + (y - cable_centre(x))) / 7.2 + 0.5)
    # Strain relief: a tapered sleeve.
    half = 4.2 + (x - 20) * 0.45
    if 20 <= x <= 33 and abs(y - 31) <= half:
        colour = mix((88, 92, 102), (34, 36, 42), (y - 31 + half) / (2 * half))
    # The moulded body with the USB sign.
    if rounded_box(x, y, 31, 17, 68, 45, 4.0):
        colour = mix((96, 102, 116), (38, 41, 49), (y - 17) / 28.0)
        if usb_sign(x, y):
            colour = (226, 230, 236)
    # The metal shell and its two openings.
    if 67 <= x <= 106 and 20 <= y <= 42:
        shine = 1.0 - abs(y - 27.0) / 15.0
        colour = mix((150, 154, 162), (244, 246, 250), shine)
        if x <= 68.2 or x >= 104.8 or y <= 21.2 or y >= 40.8:
            colour = (118, 122, 130)
        for top in (24.5, 32.5):
            if 87 <= x <= 94 and top <= y <= top + 5:
                colour = (52, 56, 64)
    return colour


def usb_sign(x, y):
    """The trident: a stem with an arrow head, a branch to a square, a branch to a dot."""
    w = 0.75
    parts = [
        segment_distance(x, y, 38.5, 31, 59, 31),
        segment_distance(x, y, 44, 31, 48, 25.5),
        segment_distance(x, y, 48, 25.5, 53, 25.5),
        segment_distance(x, y, 48, 31, 52, 36.5),
        segment_distance(x, y, 52, 36.5, 55, 36.5),
    ]
    if min(parts) <= w:
        return True
    if math.hypot(x - 38.5, y - 31) <= 2.1:  # the dot the stem starts from
        return True
    if in_polygon(x, y, [(58, 28.2), (63, 31), (58, 33.8)]):
        return True
    if 52.5 <= x <= 55.5 and 24 <= y <= 27:
        return True
    return math.hypot(x - 56, y - 36.5) <= 1.6


def write_plug(path, width=111, height=63):
    rows = []
    for r in range(height):
        row = []
        for c in range(width):
            total = [0.0, 0.0, 0.0]
            for i in range(4):
                for j in range(4):
                    sample = plug_sample(c + (j + 0.5) / 4, r + (i + 0.5) / 4)
                    for k in range(3):
                        total[k] += sample[k]
            row.append(tuple(int(round(v / 16)) for v in total))
        rows.append(row)
    # 8 bits a pixel, a third of the size: the 256 colours used most, exactly; each of the few
    # others (edge shades) as the nearest of them.
    counts = {}
    for row in rows:
        for colour in row:
            counts[colour] = counts.get(colour, 0) + 1
    palette = sorted(counts, key=lambda colour: (-counts[colour], colour))[:256]
    index = {colour: i for i, colour in enumerate(palette)}
    nearest = lambda colour: index.get(colour) if colour in index else min(
        range(len(palette)), key=lambda i: sum((a - b) ** 2 for a, b in zip(palette[i], colour)))
    stride = (width + 3) // 4 * 4
    data = bytearray()
    for row in reversed(rows):  # bottom-up
        line = bytes(nearest(colour) for colour in row)
        data += line + bytes(stride - len(line))
    colours = b''.join(bytes((blue, green, red, 0)) for red, green, blue in palette)
    info = struct.pack('<IiiHHIIiiII', 40, width, height, 1, 8, 0, len(data), 3780, 3780,
                       len(palette), 0)
    header = struct.pack('<2sIHHI', b'BM', 14 + len(info) + len(colours) + len(data), 0, 0,
                         14 + len(info) + len(colours))
    with open(path, 'wb') as out:
        out.write(header + info + colours + bytes(data))


if __name__ == '__main__':
    write_icon(os.path.join(HERE, 'vexa_update.ico'), [16, 32])
    write_plug(os.path.join(HERE, 'image1.bmp'))
