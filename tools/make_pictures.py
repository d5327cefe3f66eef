#!/usr/bin/env python3
"""Draws Kestrune's button pictures and icons.

Writes res/bitmaps/*.bmp (42 x 42, 8 bits per pixel, 256-entry palette, uncompressed) and
res/icons/postcard.ico (32 x 32 and 16 x 16) and res/icons/envelope.ico (16 x 16), both with
256 colours. Shapes are sampled 8 x 8 times per pixel, so edges get soft palette shades while
straight edges on the pixel grid stay crisp.

With --png-icons it writes the postcard instead as the Linux desktop's icons,
DIR/<size>x<size>/apps/kestrune.png (RGBA), for the Debian package.

Usage: tools/make_pictures.py [repository root]   (standard library only)
       tools/make_pictures.py --png-icons DIR
"""

import math
import os
import struct
import sys
import zlib

SIZE = 42
SAMPLES = 8  # per axis and pixel
LEVELS = 16  # coverage steps kept, so each picture needs few palette entries

MARGIN = (156, 178, 212)  # close to the bar behind the buttons
FRAME = (0, 0, 0)
WHITE = (255, 255, 255)
BLACK = (0, 0, 0)

# Face, inner highlight (top and left) and inner shadow (bottom and right) of each look.
LOOKS = {
    "normal": {"face": (236, 240, 246), "light": (255, 255, 255), "dark": (196, 204, 218),
               "ink": BLACK},
    "pressed": {"face": (36, 66, 132), "light": (22, 44, 94), "dark": (58, 92, 162),
                "ink": WHITE},
    "disabled": {"face": (196, 196, 196), "light": (214, 214, 214), "dark": (178, 178, 178),
                 "ink": (128, 128, 128)},
}
RECORD_RED = (214, 36, 36)
RECORD_PRESSED_FACE = {"face": (196, 30, 30), "light": (150, 20, 20), "dark": (222, 70, 70),
                       "ink": WHITE}
RECORD_DISABLED_INK = (100, 100, 100)


# Shapes: functions of a point (x, y) in pixel units, the picture's centre at (21, 21).

def rect(left, top, right, bottom):
    return lambda x, y: left <= x < right and top <= y < bottom


def polygon(points):
    def inside(x, y):
        hit = False
        for i in range(len(points)):
            x1, y1 = points[i]
            x2, y2 = points[i - 1]
            if (y1 > y) != (y2 > y) and x < x1 + (y - y1) * (x2 - x1) / (y2 - y1):
                hit = not hit
        return hit
    return inside


def disc(cx, cy, radius):
    return lambda x, y: (x - cx) ** 2 + (y - cy) ** 2 <= radius * radius


def segment(x1, y1, x2, y2, width):
    dx, dy = x2 - x1, y2 - y1
    length2 = dx * dx + dy * dy

    def inside(x, y):
        t = max(0.0, min(1.0, ((x - x1) * dx + (y - y1) * dy) / length2))
        px, py = x1 + t * dx - x, y1 + t * dy - y
        return px * px + py * py <= width * width / 4
    return inside


def union(*shapes):
    return lambda x, y: any(s(x, y) for s in shapes)


def minus(shape, *holes):
    return lambda x, y: shape(x, y) and not any(h(x, y) for h in holes)


def coverage(shape, px, py, scale=1.0, samples=SAMPLES):
    """Share of pixel (px, py) inside the shape, in steps of 1/LEVELS."""
    hits = 0
    for sy in range(samples):
        for sx in range(samples):
            x = (px + (sx + 0.5) / samples) * scale
            y = (py + (sy + 0.5) / samples) * scale
            hits += shape(x, y)
    return round(hits * LEVELS / (samples * samples)) / LEVELS


def blend(under, over, amount):
    return tuple(round(u + (o - u) * amount) for u, o in zip(under, over))


# The five symbols, each centred on the face (3..39 in both directions).

def play_symbol():
    # The tip sits a little right of centre so the triangle looks centred.
    return polygon([(15, 12), (30, 21), (15, 30)])


def pause_symbol():
    return union(rect(14, 13, 19, 29), rect(23, 13, 28, 29))


def stop_symbol():
    return rect(14, 14, 28, 28)


def record_symbol():
    return disc(21, 21, 8.5)


def send_symbol():
    # A closed envelope: the flap's edges are gaps in the face colour, the sides stay whole.
    body = rect(11, 14, 31, 28)
    flap = union(segment(11, 14, 21, 22.5, 1.6), segment(31, 14, 21, 22.5, 1.6))
    return minus(body, lambda x, y: flap(x, y) and 12 <= x < 30)


SYMBOLS = {
    "play": play_symbol,
    "pause": pause_symbol,
    "stop": stop_symbol,
    "record": record_symbol,
    "send": send_symbol,
}


def button_picture(name, state):
    look = dict(LOOKS[state])
    if name == "record":
        if state == "normal":
            look["ink"] = RECORD_RED
        elif state == "pressed":
            look = RECORD_PRESSED_FACE
        else:
            look["ink"] = RECORD_DISABLED_INK
    symbol = SYMBOLS[name]()
    pixels = []
    for y in range(SIZE):
        row = []
        for x in range(SIZE):
            if x < 2 or y < 2 or x >= SIZE - 2 or y >= SIZE - 2:
                row.append(MARGIN)
            elif x == 2 or y == 2 or x == SIZE - 3 or y == SIZE - 3:
                row.append(FRAME)
            else:
                if x == 3 or y == 3:
                    under = look["light"]
                elif x == SIZE - 4 or y == SIZE - 4:
                    under = look["dark"]
                else:
                    under = look["face"]
                row.append(blend(under, look["ink"], coverage(symbol, x, y)))
        pixels.append(row)
    return pixels


def palette_of(images):
    colours = sorted({c for image in images for row in image for c in row})
    if len(colours) > 256:
        raise SystemExit("more than 256 colours")
    return colours + [BLACK] * (256 - len(colours))


def dib(pixels, palette, icon=False):
    """BITMAPINFOHEADER, the 256-entry palette and the rows bottom up (and an AND mask)."""
    height = len(pixels)
    width = len(pixels[0])
    index = {c: i for i, c in reversed(list(enumerate(palette)))}
    stride = (width + 3) & ~3
    rows = b""
    for row in reversed(pixels):
        line = bytes(index[c[:3]] for c in row)
        rows += line + b"\0" * (stride - width)
    mask = b""
    if icon:
        mask_stride = ((width + 31) // 32) * 4
        for row in reversed(pixels):
            bits = 0
            for x, c in enumerate(row):
                if len(c) == 4 and c[3] == 0:  # transparent
                    bits |= 0x80 >> (x % 8) << (8 * (x // 8))
            line = bytes((bits >> (8 * i)) & 0xFF for i in range(mask_stride))
            mask += line
    header = struct.pack("<IiiHHIIiiII", 40, width, height * 2 if icon else height, 1, 8, 0,
                         len(rows) + len(mask), 2835, 2835, 256, 0)
    table = b"".join(struct.pack("<BBBB", b, g, r, 0) for r, g, b in palette)
    return header + table + rows + mask


def write_bmp(path, pixels):
    body = dib(pixels, palette_of([pixels]))
    offset = 14 + 40 + 256 * 4
    with open(path, "wb") as f:
        f.write(struct.pack("<2sIHHI", b"BM", 14 + len(body), 0, 0, offset) + body)


def write_ico(path, images):
    """images: lists of rows of (r, g, b) or (r, g, b, 0) for transparent pixels."""
    entries = b""
    blobs = b""
    offset = 6 + 16 * len(images)
    for pixels in images:
        opaque = [[c[:3] for c in row] for row in pixels]
        blob = dib(pixels, palette_of([opaque]), icon=True)
        size = len(pixels)
        entries += struct.pack("<BBBBHHII", size % 256, size % 256, 0, 0, 1, 8, len(blob), offset)
        blobs += blob
        offset += len(blob)
    with open(path, "wb") as f:
        f.write(struct.pack("<HHH", 0, 1, len(images)) + entries + blobs)


# Icons: each size drawn on its own pixel grid.

CLEAR = (0, 0, 0, 0)


def paint_layers(size, layers, design=None):
    """layers: (shape, colour) from the bottom up; pixels no shape covers stay transparent.
    design: the grid the shapes are drawn on when it is not the picture's own size."""
    scale = (design or size) / size
    # The same share of the design's pixel sampled, so big pictures stay quick.
    samples = max(2, round(SAMPLES * scale))
    pixels = []
    for y in range(size):
        row = []
        for x in range(size):
            colour = None
            for shape, ink in layers:
                amount = coverage(shape, x, y, scale, samples)
                if amount == 0:
                    continue
                if colour is None:
                    colour = ink if amount >= 0.5 else None  # no half pixels at the outline
                else:
                    colour = blend(colour, ink, amount)
            row.append(colour if colour is not None else CLEAR)
        pixels.append(row)
    return pixels


CARD = (250, 244, 226)
CARD_EDGE = (120, 104, 78)
CARD_INK = (82, 100, 140)
STAMP_RED = (200, 46, 46)


def postcard_32(size=32):
    return paint_layers(size, [
        (rect(1, 5, 31, 27), CARD_EDGE),
        (rect(2, 6, 30, 26), CARD),
        (rect(16, 9, 17, 23), (204, 192, 164)),  # between message and address
        (rect(4, 11, 14, 12), CARD_INK),  # message
        (rect(4, 14, 13, 15), CARD_INK),
        (rect(4, 17, 14, 18), CARD_INK),
        (rect(4, 20, 10, 21), CARD_INK),
        (rect(19, 17, 28, 18), CARD_INK),  # address
        (rect(19, 20, 28, 21), CARD_INK),
        (rect(19, 23, 25, 24), CARD_INK),
        (rect(22, 8, 28, 15), (255, 255, 255)),  # the stamp and its white border
        (rect(23, 9, 27, 14), STAMP_RED),
        (disc(25, 11.5, 1.3), (250, 210, 120)),
    ], design=32)


def postcard_16():
    return paint_layers(16, [
        (rect(0, 3, 16, 14), CARD_EDGE),
        (rect(1, 4, 15, 13), CARD),
        (rect(2, 6, 8, 7), CARD_INK),
        (rect(2, 8, 7, 9), CARD_INK),
        (rect(2, 10, 8, 11), CARD_INK),
        (rect(9, 10, 14, 11), CARD_INK),
        (rect(11, 5, 14, 8), STAMP_RED),
    ])


def envelope_16():
    edge = (64, 82, 124)
    paper = rect(1, 4, 15, 13)
    flap = union(segment(1, 4, 8, 9.5, 1.1), segment(15, 4, 8, 9.5, 1.1))
    return paint_layers(16, [
        (rect(0, 3, 16, 14), edge),
        (paper, (255, 255, 255)),
        (rect(1, 9, 15, 13), (236, 240, 248)),  # the lower half a little in shadow
        (lambda x, y: flap(x, y) and paper(x, y), edge),
    ])


def write_png(path, pixels):
    """RGBA, 8 bits a channel; (r, g, b, 0) pixels are transparent."""
    raw = b"".join(b"\0" + bytes(v for c in row for v in (c[:3] + (255,) if len(c) == 3 else c))
                   for row in pixels)

    def chunk(kind, data):
        return (struct.pack(">I", len(data)) + kind + data +
                struct.pack(">I", zlib.crc32(kind + data) & 0xFFFFFFFF))

    header = struct.pack(">IIBBBBB", len(pixels[0]), len(pixels), 8, 6, 0, 0, 0)
    with open(path, "wb") as f:
        f.write(b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) +
                chunk(b"IDAT", zlib.compress(raw, 9)) + chunk(b"IEND", b""))


# The desktop's icon sizes: 16 has its own drawing, the others scale the 32 one.
PNG_ICON_SIZES = (16, 32, 48, 64, 128, 256)


def write_png_icons(folder):
    for size in PNG_ICON_SIZES:
        apps = os.path.join(folder, "%dx%d" % (size, size), "apps")
        os.makedirs(apps, exist_ok=True)
        write_png(os.path.join(apps, "kestrune.png"),
                  postcard_16() if size == 16 else postcard_32(size))


def main():
    if len(sys.argv) == 3 and sys.argv[1] == "--png-icons":
        write_png_icons(sys.argv[2])
        return
    root = sys.argv[1] if len(sys.argv) > 1 else os.path.join(os.path.dirname(__file__), "..")
    bitmaps = os.path.join(root, "res", "bitmaps")
    icons = os.path.join(root, "res", "icons")
    os.makedirs(bitmaps, exist_ok=True)
    os.makedirs(icons, exist_ok=True)
    for name in SYMBOLS:
        for state in LOOKS:
            suffix = "" if state == "normal" else "_" + state
            write_bmp(os.path.join(bitmaps, name + suffix + ".bmp"), button_picture(name, state))
    write_ico(os.path.join(icons, "postcard.ico"), [postcard_32(), postcard_16()])
    write_ico(os.path.join(icons, "envelope.ico"), [envelope_16()])


if __name__ == "__main__":
    main()
