#!/usr/bin/env python3
"""Draws Kestrune's button pictures and icons.

Writes res/bitmaps/*.bmp (42 x 42, 8 bits per pixel, 256-entry palette, uncompressed), the
same pictures drawn for 125, 150 and 200 % as res/bitmaps/<size>/*.bmp (53, 63 and 84 px,
8 bits per pixel, RLE8-compressed, only the colours they use) with res/pictures.rc, which lists
them for the resource script, and res/icons/postcard.ico and res/icons/envelope.ico (16, 20, 24,
32, 40, 48, 64 px with the colours they use, and 256 px as PNG). Shapes are sampled 8 x 8 times
per pixel, so edges get soft palette shades while straight edges on the pixel grid stay crisp.

With --png-icons it writes the postcard instead as the Linux desktop's icons,
DIR/<size>x<size>/apps/kestrune.png (RGBA), for the Debian package: the same drawings as
the postcard icon's.

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


def scaled(pixels, size):
    """A 42-px measure at another size, rounded half up."""
    return int(pixels * size / SIZE + 0.5)


def look_of(name, state):
    look = dict(LOOKS[state])
    if name == "record":
        if state == "normal":
            look["ink"] = RECORD_RED
        elif state == "pressed":
            look = RECORD_PRESSED_FACE
        else:
            look["ink"] = RECORD_DISABLED_INK
    return look


def button_roles(name, size=SIZE):
    """What each pixel of a size x size picture is, whatever its look: "margin", "frame", or
    (face part, symbol coverage). The 42-px geometry scaled; the margin, frame and inner edges
    rounded to whole pixels so that they stay crisp."""
    symbol = SYMBOLS[name]()
    margin = scaled(2, size)
    frame = margin + scaled(1, size)
    edge = frame + scaled(1, size)

    def within(x, y, inset):
        return inset <= x < size - inset and inset <= y < size - inset

    roles = []
    for y in range(size):
        row = []
        for x in range(size):
            if not within(x, y, margin):
                row.append("margin")
            elif not within(x, y, frame):
                row.append("frame")
            else:
                if x < edge or y < edge:
                    under = "light"
                elif x >= size - edge or y >= size - edge:
                    under = "dark"
                else:
                    under = "face"
                row.append((under, coverage(symbol, x, y, SIZE / size)))
        roles.append(row)
    return roles


def role_colour(role, look):
    if role == "margin":
        return MARGIN
    if role == "frame":
        return FRAME
    under, amount = role
    return blend(look[under], look["ink"], amount)


def button_picture(roles, name, state):
    look = look_of(name, state)
    return [[role_colour(role, look) for role in row] for row in roles]


def palette_of(images, full=True):
    """The colours used, padded to 256 entries when full."""
    colours = sorted({c for image in images for row in image for c in row})
    if len(colours) > 256:
        raise SystemExit("more than 256 colours")
    return colours + [BLACK] * (256 - len(colours)) if full else colours


def rle8_row(line):
    """One row as RLE8: runs of a colour, and stretches of at least 3 differing pixels in
    absolute mode (padded to a whole word)."""
    out = b""
    i = 0
    while i < len(line):
        run = 1
        while i + run < len(line) and run < 255 and line[i + run] == line[i]:
            run += 1
        if run >= 2:
            out += bytes((run, line[i]))
            i += run
            continue
        end = i
        while end < len(line) and end - i < 255 and not (
                end + 1 < len(line) and line[end + 1] == line[end]):
            end += 1
        literal = line[i:end] if end > i else line[i:i + 1]
        if len(literal) >= 3:
            out += bytes((0, len(literal))) + literal + b"\0" * (len(literal) % 2)
        else:
            out += b"".join(bytes((1, v)) for v in literal)
        i += len(literal)
    return out


def dib(pixels, palette, icon=False):
    """BITMAPINFOHEADER, the palette and the rows bottom up (and an AND mask)."""
    height = len(pixels)
    width = len(pixels[0])
    index = {c: i for i, c in reversed(list(enumerate(palette)))}
    stride = (width + 3) & ~3
    rows = b"".join(bytes(index[c[:3]] for c in row) + b"\0" * (stride - width)
                   for row in reversed(pixels))
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
                         len(rows) + len(mask), 2835, 2835, len(palette), 0)
    table = b"".join(struct.pack("<BBBB", b, g, r, 0) for r, g, b in palette)
    return header + table + rows + mask


def write_bmp(path, pixels):
    palette = palette_of([pixels])
    body = dib(pixels, palette)
    offset = 14 + 40 + 256 * 4
    with open(path, "wb") as f:
        f.write(struct.pack("<2sIHHI", b"BM", 14 + len(body), 0, 0, offset) + body)


def write_ico(path, images):
    """images: lists of rows of (r, g, b) or (r, g, b, 0) for transparent pixels; 256-px ones
    are stored as PNG, the others as 8-bit DIBs with the colours they use."""
    entries = b""
    blobs = b""
    offset = 6 + 16 * len(images)
    for pixels in images:
        size = len(pixels)
        if size == 256:
            blob = png_bytes(pixels)
            bits = 32
        else:
            opaque = [[c[:3] for c in row] for row in pixels]
            blob = dib(pixels, palette_of([opaque], full=False), icon=True)
            bits = 8
        entries += struct.pack("<BBBBHHII", size % 256, size % 256, 0, 0, 1, bits, len(blob),
                               offset)
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


def envelope_16(size=16):
    edge = (64, 82, 124)
    paper = rect(1, 4, 15, 13)
    flap = union(segment(1, 4, 8, 9.5, 1.1), segment(15, 4, 8, 9.5, 1.1))
    return paint_layers(size, [
        (rect(0, 3, 16, 14), edge),
        (paper, (255, 255, 255)),
        (rect(1, 9, 15, 13), (236, 240, 248)),  # the lower half a little in shadow
        (lambda x, y: flap(x, y) and paper(x, y), edge),
    ], design=16)


def png_bytes(pixels):
    """RGBA, 8 bits a channel; (r, g, b, 0) pixels are transparent."""
    raw = b"".join(b"\0" + bytes(v for c in row for v in (c[:3] + (255,) if len(c) == 3 else c))
                   for row in pixels)

    def chunk(kind, data):
        return (struct.pack(">I", len(data)) + kind + data +
                struct.pack(">I", zlib.crc32(kind + data) & 0xFFFFFFFF))

    header = struct.pack(">IIBBBBB", len(pixels[0]), len(pixels), 8, 6, 0, 0, 0)
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) +
            chunk(b"IDAT", zlib.compress(raw, 9)) + chunk(b"IEND", b""))


def postcard(size):
    """16 has its own drawing, the others scale the 32 one."""
    return postcard_16() if size == 16 else postcard_32(size)


def envelope(size):
    return envelope_16() if size == 16 else envelope_16(size)


# The sizes in the program's icons (Windows asks for 16 to 64 at 100 to 200 %), and the
# desktop's icon sizes; both from the same drawings.
ICON_SIZES = (16, 20, 24, 32, 40, 48, 64, 256)
PNG_ICON_SIZES = (16, 32, 48, 64, 128, 256)


def write_png_icons(folder):
    for size in PNG_ICON_SIZES:
        apps = os.path.join(folder, "%dx%d" % (size, size), "apps")
        os.makedirs(apps, exist_ok=True)
        with open(os.path.join(apps, "kestrune.png"), "wb") as f:
            f.write(png_bytes(postcard(size)))


# The sets beside the 42-px one (100 %): 125, 150 and 200 %, and the first resource number of
# each. The three looks of a button share one picture of colour indexes: its bitmap
# (first + 3 x slot) carries the normal look's colours, and the pressed and disabled looks'
# colour tables follow as data (first + 3 x slot + 1 and + 2). controls/picture_sets.h holds
# the same numbers.
SETS = ((53, 2000), (63, 2100), (84, 2200))
BUTTONS = ("play", "pause", "stop", "record", "send")
STATES = ("normal", "pressed", "disabled")


def write_picture_set(folder, first, size):
    lines = []
    for slot, name in enumerate(BUTTONS):
        roles = button_roles(name, size)
        order = sorted({role for row in roles for role in row}, key=repr)
        if len(order) > 256:
            raise SystemExit("more than 256 colours")
        index = {role: i for i, role in enumerate(order)}
        looks = [[role_colour(role, look_of(name, state)) for role in order] for state in STATES]
        rows = [bytes(index[role] for role in row) for row in reversed(roles)]
        body = b"\0\0".join(rle8_row(row) for row in rows) + b"\0\1"
        table = b"".join(struct.pack("<BBBB", b, g, r, 0) for r, g, b in looks[0])
        header = struct.pack("<IiiHHIIiiII", 40, size, size, 1, 8, 1, len(body), 2835, 2835,
                             len(order), 0)
        offset = 14 + len(header) + len(table)
        path = os.path.join(folder, name + ".bmp")
        with open(path, "wb") as f:
            f.write(struct.pack("<2sIHHI", b"BM", offset + len(body), 0, 0, offset) + header +
                    table + body)
        lines.append("%d BITMAP \"bitmaps/%d/%s.bmp\"\n" % (first + 3 * slot, size, name))
        for look, state in list(enumerate(STATES))[1:]:
            with open(os.path.join(folder, "%s_%s.pal" % (name, state)), "wb") as f:
                f.write(b"".join(struct.pack("<BBBB", b, g, r, 0) for r, g, b in looks[look]))
            lines.append("%d RCDATA \"bitmaps/%d/%s_%s.pal\"\n" %
                         (first + 3 * slot + look, size, name, state))
    return lines


def write_picture_sets(root):
    lines = ["// Written by tools/make_pictures.py: the button pictures for 125, 150 and 200 %.\n"]
    for size, first in SETS:
        folder = os.path.join(root, "res", "bitmaps", str(size))
        os.makedirs(folder, exist_ok=True)
        lines += write_picture_set(folder, first, size)
    with open(os.path.join(root, "res", "pictures.rc"), "w") as f:
        f.write("".join(lines))


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
        roles = button_roles(name)
        for state in LOOKS:
            suffix = "" if state == "normal" else "_" + state
            write_bmp(os.path.join(bitmaps, name + suffix + ".bmp"),
                      button_picture(roles, name, state))
    write_picture_sets(root)
    write_ico(os.path.join(icons, "postcard.ico"), [postcard(size) for size in ICON_SIZES])
    write_ico(os.path.join(icons, "envelope.ico"), [envelope(size) for size in ICON_SIZES])


if __name__ == "__main__":
    main()
