#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""Draws the program's images into src/ui/images: the program icon (a steel padlock whose body
carries black-and-yellow hazard stripes) at 64, 48, 32 and 16 pixels, also as one .ico, and for the
desktop's icon theme at 24 and 128 pixels and as a scalable SVG of the same shapes; the 16 x 16
house of the site buttons; the 16 x 16 delete glyph on its magenta key colour; the sixteen 16 x 16
symbols of the master password's fingerprint.

The pictures are committed; run this again only to change them (an argument names another folder
to draw into: the tests draw them anew and compare). Standard library only."""

import math
import os
import struct
import sys
import zlib

OUT = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "src", "ui", "images")


def write_png(path, width, height, rows, alpha=True):
    """rows: height lists of width (r, g, b, a) tuples."""
    raw = bytearray()
    for row in rows:
        raw.append(0)  # no filter
        for r, g, b, a in row:
            raw += bytes((r, g, b, a) if alpha else (r, g, b))

    def chunk(kind, data):
        body = kind + data
        return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body))

    header = struct.pack(">IIBBBBB", width, height, 8, 6 if alpha else 2, 0, 0, 0)
    png = (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) +
           chunk(b"IDAT", zlib.compress(bytes(raw), 9)) + chunk(b"IEND", b""))
    with open(path, "wb") as f:
        f.write(png)
    return png


# ---- The padlock, drawn in a unit square and sampled 8 x 8 times per pixel.

STEEL_LIGHT = (0xE4, 0xE8, 0xEC)
STEEL_DARK = (0x6E, 0x78, 0x84)
OUTLINE = (0x3A, 0x42, 0x4C)
YELLOW = (0xF6, 0xC4, 0x00)
BLACK = (0x1C, 0x1C, 0x1C)


def mix(a, b, t):
    return tuple(a[i] + (b[i] - a[i]) * t for i in range(3))


def in_rounded_rect(x, y, left, top, right, bottom, radius):
    if not (left <= x <= right and top <= y <= bottom):
        return False
    cx = min(max(x, left + radius), right - radius)
    cy = min(max(y, top + radius), bottom - radius)
    return (x - cx) ** 2 + (y - cy) ** 2 <= radius ** 2


# The padlock's shapes in the unit square, shared by the sampled pictures and the SVG.
BODY = (0.10, 0.44, 0.90, 0.95, 0.09)  # left, top, right, bottom, corner radius
LINE = 0.035  # the outline's width, at least one pixel in the sampled pictures
RIM = 0.07  # the steel rim around the stripes, from 32 pixels up
STRIPE_PERIOD = 0.25  # one yellow and one black stripe, from 32 pixels up; 0.3 below
SHACKLE = (0.5, 0.36, 0.29, 0.17)  # the arch's centre x, y and its outer and inner radius


def bar_shade(shade):
    """How far from light towards dark the shackle's bar is, across it (0 to 1)."""
    return abs(shade - 0.4) * 1.6


def padlock_sample(x, y, size):
    """Colour (r, g, b) or None at the unit-square point x, y of a padlock of size pixels."""
    line = max(1.0, size * LINE) / size
    # Body: a rounded rectangle, its face striped diagonally, a steel rim around it.
    left, top, right, bottom, radius = BODY
    if in_rounded_rect(x, y, left, top, right, bottom, radius):
        if not in_rounded_rect(x, y, left + line, top + line, right - line, bottom - line,
                               max(radius - line, 0.0)):
            return OUTLINE
        rim = RIM if size >= 32 else 0.0
        if rim and not in_rounded_rect(x, y, left + line + rim, top + line + rim,
                                       right - line - rim, bottom - line - rim,
                                       max(radius - line - rim, 0.0)):
            return mix(STEEL_LIGHT, STEEL_DARK, (y - top) / (bottom - top))
        period = STRIPE_PERIOD if size >= 32 else 0.3
        stripe = ((x + y) / period) % 1.0
        return YELLOW if stripe < 0.5 else BLACK
    # Shackle: an arch above the body, two legs down into it, shaded like a rounded bar.
    cx, cy, outer, inner = SHACKLE
    bar = outer - inner
    distance = math.hypot(x - cx, y - cy)
    shade = None
    if y <= cy and inner <= distance <= outer:
        shade = (distance - inner) / bar
    elif cy < y <= top + 0.02:
        for leg_left in (cx - outer, cx + inner):
            if leg_left <= x <= leg_left + bar:
                shade = (x - leg_left) / bar
    if shade is None:
        return None
    if shade < line / bar or shade > 1 - line / bar:
        return OUTLINE
    # Light along the middle of the bar, darker towards its edges.
    return mix(STEEL_LIGHT, STEEL_DARK, bar_shade(shade))


def draw_padlock(size, samples=8):
    rows = []
    for py in range(size):
        row = []
        for px in range(size):
            total = [0.0, 0.0, 0.0]
            covered = 0
            for sy in range(samples):
                for sx in range(samples):
                    colour = padlock_sample((px + (sx + 0.5) / samples) / size,
                                            (py + (sy + 0.5) / samples) / size, size)
                    if colour is not None:
                        covered += 1
                        for i in range(3):
                            total[i] += colour[i]
            if covered == 0:
                row.append((0, 0, 0, 0))
            else:
                row.append(tuple(round(c / covered) for c in total) +
                           (round(255 * covered / samples ** 2),))
        rows.append(row)
    return rows


# ---- The padlock as an SVG: the shapes of padlock_sample at its large-size settings, in a 128-unit
# square. Where the sampled pictures shade a colour along a line, the SVG has a gradient whose stops
# give the same colours (the shading is linear between them).

SVG_UNITS = 128


def hex_colour(colour):
    return "#%02x%02x%02x" % tuple(round(c) for c in colour)


def svg_number(value):
    return ("%.3f" % (value * SVG_UNITS)).rstrip("0").rstrip(".")


def svg_rounded_rect(left, top, right, bottom, radius, fill):
    n = svg_number
    return (f'<rect x="{n(left)}" y="{n(top)}" width="{n(right - left)}" height="{n(bottom - top)}"'
            f' rx="{n(radius)}" fill="{fill}"/>')


def svg_bar_stops(first_offset, last_offset):
    """Gradient stops across the shackle's bar, from its shade 0 at first_offset to 1 at last."""
    stops = ""
    for shade in (0.0, 0.4, 1.0):
        offset = first_offset + (last_offset - first_offset) * shade
        colour = hex_colour(mix(STEEL_LIGHT, STEEL_DARK, bar_shade(shade)))
        stops += f'<stop offset="{offset:.4f}" stop-color="{colour}"/>'
    return stops


def padlock_svg():
    n = svg_number
    left, top, right, bottom, radius = BODY
    cx, cy, outer, inner = SHACKLE
    bar = outer - inner
    leg_bottom = top + 0.02
    legs = (cx - outer, cx + inner)

    def half_ring(r_outer, r_inner):
        return (f"M{n(cx - r_outer)} {n(cy)}A{n(r_outer)} {n(r_outer)} 0 0 1 {n(cx + r_outer)} {n(cy)}"
                f"L{n(cx + r_inner)} {n(cy)}A{n(r_inner)} {n(r_inner)} 0 0 0 {n(cx - r_inner)} {n(cy)}Z")

    defs = (f'<radialGradient id="arch" gradientUnits="userSpaceOnUse" cx="{n(cx)}" cy="{n(cy)}"'
            f' r="{n(outer)}">{svg_bar_stops(inner / outer, 1.0)}</radialGradient>')
    for i, leg_left in enumerate(legs):
        defs += (f'<linearGradient id="leg{i}" gradientUnits="userSpaceOnUse" x1="{n(leg_left)}"'
                 f' y1="0" x2="{n(leg_left + bar)}" y2="0">{svg_bar_stops(0.0, 1.0)}</linearGradient>')
    defs += (f'<linearGradient id="rim" gradientUnits="userSpaceOnUse" x1="0" y1="{n(top)}" x2="0"'
             f' y2="{n(bottom)}"><stop offset="0" stop-color="{hex_colour(STEEL_LIGHT)}"/>'
             f'<stop offset="1" stop-color="{hex_colour(STEEL_DARK)}"/></linearGradient>')
    face = (left + LINE + RIM, top + LINE + RIM, right - LINE - RIM, bottom - LINE - RIM)
    defs += (f'<clipPath id="face"><rect x="{n(face[0])}" y="{n(face[1])}"'
             f' width="{n(face[2] - face[0])}" height="{n(face[3] - face[1])}"/></clipPath>')

    # The shackle: its outline, then the bar inside it; the body covers the legs' ends.
    shapes = f'<path d="{half_ring(outer, inner)}" fill="{hex_colour(OUTLINE)}"/>'
    for leg_left in legs:
        shapes += (f'<rect x="{n(leg_left)}" y="{n(cy)}" width="{n(bar)}"'
                   f' height="{n(leg_bottom - cy)}" fill="{hex_colour(OUTLINE)}"/>')
    shapes += f'<path d="{half_ring(outer - LINE, inner + LINE)}" fill="url(#arch)"/>'
    for i, leg_left in enumerate(legs):
        shapes += (f'<rect x="{n(leg_left + LINE)}" y="{n(cy)}" width="{n(bar - 2 * LINE)}"'
                   f' height="{n(leg_bottom - cy)}" fill="url(#leg{i})"/>')
    # The body: outline, steel rim, and the face striped where (x + y) / period falls in the first
    # half of a period.
    shapes += svg_rounded_rect(left, top, right, bottom, radius, hex_colour(OUTLINE))
    shapes += svg_rounded_rect(left + LINE, top + LINE, right - LINE, bottom - LINE,
                               max(radius - LINE, 0.0), "url(#rim)")
    shapes += svg_rounded_rect(*face, max(radius - LINE - RIM, 0.0), hex_colour(BLACK))
    stripes = ""
    k = math.floor((face[0] + face[1]) / STRIPE_PERIOD)
    while k * STRIPE_PERIOD < face[2] + face[3]:
        a, b = k * STRIPE_PERIOD, (k + 0.5) * STRIPE_PERIOD
        stripes += (f"M{n(a - face[1])} {n(face[1])}L{n(b - face[1])} {n(face[1])}"
                    f"L{n(b - face[3])} {n(face[3])}L{n(a - face[3])} {n(face[3])}Z")
        k += 1
    shapes += f'<path d="{stripes}" fill="{hex_colour(YELLOW)}" clip-path="url(#face)"/>'
    return (f'<svg xmlns="http://www.w3.org/2000/svg" width="{SVG_UNITS}" height="{SVG_UNITS}"'
            f' viewBox="0 0 {SVG_UNITS} {SVG_UNITS}">\n<defs>{defs}</defs>\n{shapes}\n</svg>\n')


# ---- The 16 x 16 pictures, pixel by pixel: sampled shapes blur at this size.

PADLOCK_16 = [
    "................",
    "....OOOOOOOO....",
    "...OSSSSSSSSO...",
    "...OSOOOOOOSO...",
    "...OSO....OSO...",
    "...OSO....OSO...",
    "...OSO....OSO...",
    "..OOOOOOOOOOOO..",
    ".O############O.",
    ".O############O.",
    ".O############O.",
    ".O############O.",
    ".O############O.",
    ".O############O.",
    "..OOOOOOOOOOOO..",
    "................",
]


def padlock_16():
    colours = {".": (0, 0, 0, 0), "O": OUTLINE + (255,), "S": (0xC8, 0xCE, 0xD6, 255)}
    rows = []
    for y, line in enumerate(PADLOCK_16):
        row = []
        for x, c in enumerate(line):
            if c == "#":  # stripes two pixels wide, running diagonally
                row.append((YELLOW if (x + y) // 2 % 2 == 0 else BLACK) + (255,))
            else:
                row.append(colours[c])
        rows.append(row)
    return rows

# ---- The 16 x 16 pictures, pixel by pixel.

HOUSE = [
    "................",
    ".......RR.......",
    "......RrrR......",
    ".....RrrrrR.....",
    "....RrrrrrrR....",
    "...RrrrrrrrrR...",
    "..RrrrrrrrrrrR..",
    ".RRRRRRRRRRRRRR.",
    "...GWWWWWWWWG...",
    "...GWWWWWWWWG...",
    "...GWWWWWWWWG...",
    "...GWWWDDWWWG...",
    "...GWWWDDWWWG...",
    "...GWWWDDWWWG...",
    "...GGGGDDGGGG...",
    "................",
]
HOUSE_COLOURS = {
    ".": (0, 0, 0, 0),
    "R": (0x9E, 0x1B, 0x1B, 255),  # the roof's edge
    "r": (0xE0, 0x30, 0x2A, 255),  # the roof
    "W": (0xFF, 0xFF, 0xFF, 255),  # walls
    "G": (0x70, 0x70, 0x70, 255),  # the walls' outline, so that white shows on a light face
    "D": (0x8C, 0xD0, 0xF4, 255),  # the light-blue door
}

DELETE = ["MMMMMMMMMMMMMMMM"] * 6 + [
    "MMMMEEEEEEEEMMMM",
    "MMMMEBBBBBBEMMMM",
    "MMMMEBBBBBBEMMMM",
    "MMMMEEEEEEEEMMMM",
] + ["MMMMMMMMMMMMMMMM"] * 6
DELETE_COLOURS = {
    "M": (0xFF, 0x00, 0xFF, 255),  # the key colour, drawn transparent
    "B": (0x2F, 0x6F, 0xE8, 255),  # the bar
    "E": (0x12, 0x3C, 0x9C, 255),  # its edge
}


def from_map(art, colours):
    return [[colours[c] for c in line] for line in art]


# ---- The fingerprint's symbols: sixteen shapes, each in a colour of its own, in the order of their
# numbers and names in the core ("red circle" is symbol 3). Shapes carry the meaning, so each is
# drawn in a unit square, sampled 4 x 4 times per pixel and cut to whole pixels (at least half
# covered) inside a one-pixel transparent margin, with a dark outline that keeps light colours
# visible on a light box and on the strength's red or amber frame. The colours differ in lightness
# as well as hue, so that red-green and blue-yellow deficiencies still tell every pair apart
# (check_symbol_colours).

SYMBOL_OUTLINE = (0x20, 0x20, 0x20)


def star_polygon():
    points = []
    for i in range(10):
        angle = -math.pi / 2 + i * math.pi / 5
        radius = 0.5 if i % 2 == 0 else 0.2
        points.append((0.5 + radius * math.cos(angle), 0.54 + radius * math.sin(angle)))
    return points


def in_polygon(x, y, points):
    inside = False
    for i, (x1, y1) in enumerate(points):
        x2, y2 = points[i - 1]
        if (y1 > y) != (y2 > y) and x < x1 + (y - y1) * (x2 - x1) / (y2 - y1):
            inside = not inside
    return inside


def in_circle(x, y, cx, cy, r):
    return (x - cx) ** 2 + (y - cy) ** 2 <= r * r


STAR = star_polygon()
BOLT = [(0.58, 0.0), (0.04, 0.62), (0.4, 0.62), (0.2, 1.0), (0.96, 0.36), (0.6, 0.36), (0.94, 0.0)]


def heart(x, y):
    X, Y = (x - 0.5) * 2.29, (0.545 - y) * 2.29
    return (X * X + Y * Y - 1) ** 3 - X * X * Y ** 3 <= 0


def key(x, y):
    ring = in_circle(x, y, 0.3, 0.42, 0.3) and not in_circle(x, y, 0.3, 0.42, 0.1)
    shaft = 0.5 <= x <= 1.0 and abs(y - 0.42) <= 0.13
    teeth = (0.64 <= x <= 0.78 or 0.86 <= x <= 1.0) and 0.42 <= y <= 0.8
    return ring or shaft or teeth


def crown(x, y):
    if 0.6 <= y <= 0.88 and 0.06 <= x <= 0.94:
        return True
    return any(0.12 <= y <= 0.6 and abs(x - cx) <= (y - 0.12) * 0.42 for cx in (0.16, 0.5, 0.84))


SYMBOLS = [  # (colour name, shape name, fill, inside(x, y))
    ("green", "square", (0x1B, 0x9E, 0x3E), lambda x, y: 0.08 <= x <= 0.92 and 0.08 <= y <= 0.92),
    ("orange", "triangle", (0xFF, 0x8C, 0x00),
     lambda x, y: y <= 0.94 and abs(x - 0.5) <= (y - 0.02) * 0.56),
    ("black", "cross", (0x20, 0x20, 0x20),
     lambda x, y: min(abs(x - 0.5), abs(y - 0.5)) <= 0.16 and max(abs(x - 0.5), abs(y - 0.5)) <= 0.5),
    ("red", "circle", (0xE0, 0x1E, 0x2C), lambda x, y: in_circle(x, y, 0.5, 0.5, 0.48)),
    ("purple", "diamond", (0x8E, 0x44, 0xAD), lambda x, y: abs(x - 0.5) + abs(y - 0.5) <= 0.52),
    ("pink", "heart", (0xB2, 0x64, 0x8C), heart),
    ("yellow", "moon", (0xFF, 0xE0, 0x1A),
     lambda x, y: in_circle(x, y, 0.5, 0.5, 0.48) and not in_circle(x, y, 0.72, 0.36, 0.38)),
    ("brown", "key", (0x61, 0x34, 0x14), key),
    ("cyan", "drop", (0x32, 0xAC, 0xC2),
     lambda x, y: in_circle(x, y, 0.5, 0.68, 0.3) or (y <= 0.68 and abs(x - 0.5) <= y * 0.42)),
    ("grey", "cloud", (0xA4, 0xA4, 0xA4),
     lambda x, y: (in_circle(x, y, 0.28, 0.6, 0.22) or in_circle(x, y, 0.55, 0.44, 0.28) or
                   in_circle(x, y, 0.76, 0.62, 0.2) or (0.28 <= x <= 0.76 and 0.6 <= y <= 0.82))),
    ("navy", "flag", (0x1F, 0x2F, 0x86),
     lambda x, y: (0.06 <= x <= 0.2 and y >= 0.02) or (0.2 <= x <= 0.96 and 0.06 <= y <= 0.54)),
    ("teal", "hourglass", (0x00, 0x5A, 0x5A),
     lambda x, y: 0.02 <= y <= 0.98 and abs(x - 0.5) <= abs(y - 0.5) * 0.92 + 0.07),
    ("olive", "crown", (0x66, 0x66, 0x0D), crown),
    ("lime", "arrow", (0xAE, 0xEB, 0x58),
     lambda x, y: (y <= 0.52 and abs(x - 0.5) <= y * 0.96) or (0.52 <= y and abs(x - 0.5) <= 0.15)),
    ("blue", "star", (0x2F, 0x6F, 0xE8), lambda x, y: in_polygon(x, y, STAR)),
    ("white", "bolt", (0xFF, 0xFF, 0xFF), lambda x, y: in_polygon(x, y, BOLT)),
]


# Simulated protanopia, deuteranopia and tritanopia (Machado, Oliveira and Fernandes 2009, full
# severity, on linear RGB); the colours above were tuned so that every pair stays at least
# MIN_DISTANCE apart (CIE L*a*b* distance) under each.
DEFICIENCIES = {
    "protanopia": ((0.152286, 1.052583, -0.204868), (0.114503, 0.786281, 0.099216),
                   (-0.003882, -0.048116, 1.051998)),
    "deuteranopia": ((0.367322, 0.860646, -0.227968), (0.280085, 0.672501, 0.047413),
                     (-0.011820, 0.042940, 0.968881)),
    "tritanopia": ((1.255528, -0.076749, -0.178779), (-0.078411, 0.930809, 0.147602),
                   (0.004733, 0.691367, 0.303900)),
}
MIN_DISTANCE = 12


def as_seen(colour, matrix):
    """CIE L*a*b* of an sRGB colour as seen through the deficiency's matrix."""
    linear = [(c / 255) / 12.92 if c / 255 <= 0.04045 else ((c / 255 + 0.055) / 1.055) ** 2.4
              for c in colour]
    r, g, b = (min(1.0, max(0.0, sum(row[i] * linear[i] for i in range(3)))) for row in matrix)
    x = (0.4124 * r + 0.3576 * g + 0.1805 * b) / 0.9505
    y = 0.2126 * r + 0.7152 * g + 0.0722 * b
    z = (0.0193 * r + 0.1192 * g + 0.9505 * b) / 1.089
    f = lambda t: t ** (1 / 3) if t > 0.008856 else 7.787 * t + 16 / 116
    return (116 * f(y) - 16, 500 * (f(x) - f(y)), 200 * (f(y) - f(z)))


def check_symbol_colours():
    for deficiency, matrix in DEFICIENCIES.items():
        seen = [(colour, as_seen(fill, matrix)) for colour, _, fill, _ in SYMBOLS]
        for i, (a, lab_a) in enumerate(seen):
            for b, lab_b in seen[i + 1:]:
                if math.dist(lab_a, lab_b) < MIN_DISTANCE:
                    sys.exit(f"{a} and {b} are too alike under {deficiency}")


def draw_symbol(inside, fill, samples=4):
    area = 14  # pixels 1 to 14; the outer ring stays transparent
    mask = [[False] * 16 for _ in range(16)]
    for py in range(area):
        for px in range(area):
            covered = sum(inside((px + (sx + 0.5) / samples) / area,
                                 (py + (sy + 0.5) / samples) / area)
                          for sy in range(samples) for sx in range(samples))
            mask[py + 1][px + 1] = covered * 2 >= samples * samples
    rows = []
    for y in range(16):
        row = []
        for x in range(16):
            if not mask[y][x]:
                row.append((0, 0, 0, 0))
            elif all(mask[y + dy][x + dx] for dx, dy in ((1, 0), (-1, 0), (0, 1), (0, -1))):
                row.append(fill + (255,))
            else:
                row.append(SYMBOL_OUTLINE + (255,))
        rows.append(row)
    return rows


def write_ico(path, pngs):
    """An icon file holding each (size, png bytes) as a PNG entry."""
    header = struct.pack("<HHH", 0, 1, len(pngs))
    offset = len(header) + 16 * len(pngs)
    entries, data = b"", b""
    for size, png in pngs:
        entries += struct.pack("<BBBBHHII", size % 256, size % 256, 0, 0, 1, 32, len(png),
                               offset + len(data))
        data += png
    with open(path, "wb") as f:
        f.write(header + entries + data)


def main():
    out = sys.argv[1] if len(sys.argv) > 1 else OUT
    os.makedirs(out, exist_ok=True)
    pngs = []
    for size in (64, 48, 32, 16):
        rows = padlock_16() if size == 16 else draw_padlock(size)
        pngs.append((size, write_png(os.path.join(out, f"icon-{size}.png"), size, size, rows)))
    write_ico(os.path.join(out, "icon.ico"), sorted(pngs))
    # The icon theme's other sizes, which the program itself does not carry.
    for size in (24, 128):
        write_png(os.path.join(out, f"icon-{size}.png"), size, size, draw_padlock(size))
    with open(os.path.join(out, "icon.svg"), "w", encoding="ascii") as f:
        f.write(padlock_svg())
    write_png(os.path.join(out, "house.png"), 16, 16, from_map(HOUSE, HOUSE_COLOURS))
    write_png(os.path.join(out, "delete.png"), 16, 16, from_map(DELETE, DELETE_COLOURS),
              alpha=False)
    check_symbol_colours()
    for number, (_, _, fill, inside) in enumerate(SYMBOLS):
        write_png(os.path.join(out, f"symbol-{number}.png"), 16, 16, draw_symbol(inside, fill))
    return 0


if __name__ == "__main__":
    sys.exit(main())
