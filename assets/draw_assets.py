#!/usr/bin/env python3
"""Draws Kestrino's logo.jpg (150x80) and kestrino.ico (32x32, 16 colours).

Plain Python plus cjpeg, so the assets can be rebuilt anywhere without an
image library. Output is deterministic; run with no arguments.
"""
import os
import struct
import subprocess

HERE = os.path.dirname(os.path.abspath(__file__))

# Standard 16-colour VGA palette, in the order Windows expects.
VGA = [(0, 0, 0), (128, 0, 0), (0, 128, 0), (128, 128, 0),
       (0, 0, 128), (128, 0, 128), (0, 128, 128), (192, 192, 192),
       (128, 128, 128), (255, 0, 0), (0, 255, 0), (255, 255, 0),
       (0, 0, 255), (255, 0, 255), (0, 255, 255), (255, 255, 255)]

NAVY, RUST = (24, 44, 104), (190, 72, 30)

# The mark on a 32x32 grid: a kestrel seen from below, over barcode bars.
WING = [(16, 2), (17.5, 4), (19, 5.5), (23, 5), (29, 3), (25, 7), (19.5, 9.5),
        (18, 11), (19.5, 15), (12.5, 15), (14, 11), (12.5, 9.5), (7, 7),
        (3, 3), (9, 5), (13, 5.5), (14.5, 4)]
BARS = [(5, 2), (8, 1), (10, 3), (14, 1), (16, 2), (19, 1), (21, 3), (25, 2)]
BAR_TOP, BAR_BOTTOM = 18, 28

# Hand-made glyphs, just the letters we need.
FONT = {
    'K': ["X...X", "X..X.", "X.X..", "XX...", "X.X..", "X..X.", "X...X"],
    'e': [".....", ".....", ".XXX.", "X...X", "XXXXX", "X....", ".XXX."],
    's': [".....", ".....", ".XXXX", "X....", ".XXX.", "....X", "XXXX."],
    't': [".X..", ".X..", "XXXX", ".X..", ".X..", ".X..", "..XX"],
    'r': [".....", ".....", "X.XX.", "XX..X", "X....", "X....", "X...."],
    'i': [".X.", "...", "XX.", ".X.", ".X.", ".X.", "XXX"],
    'n': [".....", ".....", "X.XX.", "XX..X", "X...X", "X...X", "X...X"],
    'o': [".....", ".....", ".XXX.", "X...X", "X...X", "X...X", ".XXX."],
}


def in_poly(x, y, poly):
    inside = False
    for (x1, y1), (x2, y2) in zip(poly, poly[1:] + poly[:1]):
        if (y1 > y) != (y2 > y) and x < x1 + (y - y1) * (x2 - x1) / (y2 - y1):
            inside = not inside
    return inside


def mark_colour(x, y):
    """Colour key of the mark at grid point (x, y), or None for background."""
    if in_poly(x, y, WING):
        return 'wing'
    if BAR_TOP <= y < BAR_BOTTOM and any(b <= x < b + w for b, w in BARS):
        return 'bar'
    return None


def text_rects(text, x0, y0, scale):
    rects, x = [], x0
    for ch in text:
        glyph = FONT[ch]
        for r, row in enumerate(glyph):
            for c, px in enumerate(row):
                if px == 'X':
                    rects.append((x + c * scale, y0 + r * scale, scale, scale))
        x += (len(glyph[0]) + 1) * scale
    return rects


def draw_logo():
    w, h, ss = 150, 80, 4             # 4x4 supersampling for smooth edges
    bg, border = (252, 252, 252), (200, 200, 200)
    mx, my, ms = 5, 19, 1.4           # mark origin and scale (32 grid -> 45 px)
    text = text_rects("Kestrino", 54, 33, 2)
    colours = {'wing': RUST, 'bar': NAVY}
    out = bytearray()
    for py in range(h):
        for px in range(w):
            if px in (0, w - 1) or py in (0, h - 1):
                out += bytes(border)
                continue
            acc = [0, 0, 0]
            for sy in range(ss):
                for sx in range(ss):
                    x, y = px + (sx + 0.5) / ss, py + (sy + 0.5) / ss
                    key = mark_colour((x - mx) / ms, (y - my) / ms)
                    c = colours[key] if key else bg
                    if any(rx <= x < rx + rw and ry <= y < ry + rh
                           for rx, ry, rw, rh in text):
                        c = NAVY
                    acc = [a + v for a, v in zip(acc, c)]
            out += bytes(round(a / (ss * ss)) for a in acc)
    ppm = b"P6\n%d %d\n255\n" % (w, h) + bytes(out)
    jpg = bytearray(subprocess.run(
        ["cjpeg", "-baseline", "-quality", "92", "-sample", "1x1"],
        input=ppm, stdout=subprocess.PIPE, check=True).stdout)
    # cjpeg has no density switch; set the JFIF APP0 fields to 96x96 dpi.
    assert jpg[2:4] == b"\xff\xe0" and jpg[6:11] == b"JFIF\0"
    jpg[13:18] = struct.pack(">BHH", 1, 96, 96)
    with open(os.path.join(HERE, "logo.jpg"), "wb") as f:
        f.write(jpg)


def draw_icon():
    size = 32
    # Palette indices: white tile, grey rim, red wing, navy bars.
    keys = {'wing': 9, 'bar': 4, None: 15}
    rim = 8

    def pixel(x, y):
        """Palette index, or None where the icon is transparent."""
        dx = max(3.5 - x, 0, x - 27.5)  # rounded corners, radius 4
        dy = max(3.5 - y, 0, y - 27.5)
        d = (dx * dx + dy * dy) ** 0.5
        if d > 4.0:
            return None
        if d > 3.0 or x in (0, size - 1) or y in (0, size - 1):
            return rim
        return keys[mark_colour(x + 0.5, y + 0.5)]

    rows = [[pixel(x, y) for x in range(size)] for y in range(size)]
    xor, mask = bytearray(), bytearray()
    for row in reversed(rows):        # DIBs are stored bottom-up
        idx = [0 if p is None else p for p in row]
        xor += bytes((idx[i] << 4) | idx[i + 1] for i in range(0, size, 2))
        bits = 0
        for p in row:
            bits = (bits << 1) | (p is None)
        mask += bits.to_bytes(4, "big")  # 32 bits: already 4-byte aligned
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 4, 0,
                         len(xor) + len(mask), 0, 0, 16, 0)
    palette = b"".join(bytes((b, g, r, 0)) for r, g, b in VGA)
    image = header + palette + bytes(xor) + bytes(mask)
    icondir = struct.pack("<HHH", 0, 1, 1)
    entry = struct.pack("<BBBBHHII", size, size, 16, 0, 1, 4, len(image), 6 + 16)
    with open(os.path.join(HERE, "kestrino.ico"), "wb") as f:
        f.write(icondir + entry + image)


if __name__ == "__main__":
    draw_logo()
    draw_icon()
