#!/usr/bin/env python3
# SPDX-License-Identifier: MIT
"""Draw the application icons and write them as 16-colour Windows .ico files,
and the application's desktop icon as PNG files and an SVG.

Writes korva.ico, korva_usb.ico, usb.ico and usbs.ico into the folder that
holds this script, and icons/usb-device-manager-N.png (N = 16, 32, 64, 128,
256) and icons/usb-device-manager.svg beside them: the lab badge of
korva.ico, the larger sizes scaled up from the 32-pixel drawing without
smoothing, and the SVG with the same circles and letter pixels. Every image is a 4-bit palette BMP with an AND mask
(transparency), as the ICO format expects. Standard library only; the
output is the same bytes on every run.

Run:  python3 resources/make_icons.py
"""
import os
import struct
import zlib

# The 16-colour palette (RGB). Index 0 is also what transparent pixels hold.
PALETTE = [
    (0, 0, 0),        # 0 black
    (255, 255, 255),  # 1 white
    (20, 80, 180),    # 2 badge blue
    (10, 40, 110),    # 3 badge rim (dark blue)
    (110, 110, 110),  # 4 grey
    (230, 180, 0),    # 5 yellow
] + [(0, 0, 0)] * 10                # unused entries
BLACK, WHITE, BLUE, RIM, GREY, YELLOW = range(6)
CLEAR = None


class Canvas:
    """A grid of palette indices; CLEAR marks a transparent pixel."""

    def __init__(self, size):
        self.size = size
        self.px = [[CLEAR] * size for _ in range(size)]

    def dot(self, x, y, c):
        if 0 <= x < self.size and 0 <= y < self.size:
            self.px[y][x] = c

    def rect(self, x0, y0, x1, y1, c):
        """Filled rectangle, corners inclusive."""
        for y in range(y0, y1 + 1):
            for x in range(x0, x1 + 1):
                self.dot(x, y, c)

    def disc(self, cx, cy, r, c):
        """Filled circle: the pixels whose centres lie within r of (cx, cy)."""
        for y in range(self.size):
            for x in range(self.size):
                if (x + 0.5 - cx) ** 2 + (y + 0.5 - cy) ** 2 <= r * r:
                    self.dot(x, y, c)

    def line(self, x0, y0, x1, y1, c, w=1):
        """Straight line (Bresenham), stamped with a w x w square."""
        dx, dy = abs(x1 - x0), -abs(y1 - y0)
        sx, sy = (1 if x1 > x0 else -1), (1 if y1 > y0 else -1)
        err = dx + dy
        while True:
            self.rect(x0, y0, x0 + w - 1, y0 + w - 1, c)
            if (x0, y0) == (x1, y1):
                return
            e2 = 2 * err
            if e2 >= dy:
                err += dy
                x0 += sx
            if e2 <= dx:
                err += dx
                y0 += sy

    def arrow_head(self, x0, x1, top, rows, c):
        """Upward arrow head: row `top` spans x0..x1, and each row below
        is one pixel wider on both sides."""
        for i in range(rows):
            self.rect(x0 - i, top + i, x1 + i, top + i, c)

    def glyph(self, rows, x, y, c):
        """Stamp a bitmap given as strings ('#' = ink) at (x, y)."""
        for j, row in enumerate(rows):
            for i, ch in enumerate(row):
                if ch == '#':
                    self.dot(x + i, y + j, c)


# --- Letters for the badge (bold pixel glyphs) ------------------------------
K_BIG = ["##...##", "##..##.", "##.##..", "####...", "###....",
         "###....", "####...", "##.##..", "##..##.", "##...##"]
O_BIG = [".#####.", "##...##", "##...##", "##...##", "##...##",
         "##...##", "##...##", "##...##", "##...##", ".#####."]
K_MID = ["##..#", "##.#.", "###..", "##.#.", "##..#"]
K_SMALL = ["#.#", "##.", "#.#"]


def badge(cv, cx, cy, r, letters, gap=False):
    """Blue circular badge with a dark rim and white lettering centred on it.
    With gap=True a transparent ring parts it from what lies below."""
    if gap:
        cv.disc(cx, cy, r + 1, CLEAR)
    cv.disc(cx, cy, r, RIM)
    cv.disc(cx, cy, r - 1, BLUE)
    width = sum(len(g[0]) for g in letters) + len(letters) - 1
    height = len(letters[0])
    x = int(round(cx - width / 2))
    y = int(round(cy - height / 2))
    for g in letters:
        cv.glyph(g, x, y, WHITE)
        x += len(g[0]) + 1


def trident32(cv, c, x=0, y=0):
    """USB trident in a 32x32 box whose top-left corner is (x, y)."""
    cv.arrow_head(x + 15, x + 16, y + 1, 5, c)       # arrow head, rows 1..5
    cv.rect(x + 15, y + 6, x + 16, y + 26, c)        # shaft
    cv.disc(x + 16, y + 28, 3.85, c)                 # round foot
    cv.disc(x + 7, y + 10, 3.0, c)                   # left branch: circle,
    cv.rect(x + 6, y + 13, x + 7, y + 15, c)         #   down,
    cv.line(x + 6, y + 15, x + 13, y + 22, c, 2)     #   and in to the shaft
    cv.rect(x + 22, y + 6, x + 27, y + 11, c)        # right branch: square,
    cv.rect(x + 24, y + 11, x + 25, y + 13, c)       #   down,
    cv.line(x + 24, y + 13, x + 17, y + 20, c, 2)    #   and in to the shaft


def trident24(cv, c, x=0, y=0):
    """Smaller USB trident, 24 x 26 pixels, top-left corner at (x, y)."""
    cv.arrow_head(x + 11, x + 12, y + 0, 5, c)       # arrow head, rows 0..4
    cv.rect(x + 11, y + 5, x + 12, y + 21, c)        # shaft
    cv.disc(x + 12, y + 23, 3.0, c)                  # round foot
    cv.disc(x + 5, y + 9, 3.0, c)                    # left branch: circle,
    cv.rect(x + 4, y + 11, x + 5, y + 12, c)         #   down,
    cv.line(x + 4, y + 12, x + 9, y + 17, c, 2)      #   and in to the shaft
    cv.rect(x + 18, y + 1, x + 23, y + 6, c)         # right branch: square,
    cv.rect(x + 20, y + 7, x + 21, y + 8, c)         #   down,
    cv.line(x + 20, y + 8, x + 13, y + 15, c, 2)     #   and in to the shaft


def trident16(cv, c, x=0, y=0):
    """USB trident in a 16x16 box whose top-left corner is (x, y)."""
    cv.arrow_head(x + 7, x + 7, y + 0, 3, c)         # arrow head, rows 0..2
    cv.rect(x + 7, y + 3, x + 7, y + 10, c)          # shaft
    cv.disc(x + 7.5, y + 13.5, 2.3, c)               # round foot
    cv.disc(x + 3, y + 5, 2, c)                      # left branch: circle,
    cv.line(x + 3, y + 7, x + 6, y + 10, c)          #   in to the shaft
    cv.rect(x + 11, y + 2, x + 13, y + 4, c)         # right branch: square,
    cv.line(x + 12, y + 5, x + 8, y + 9, c)          #   in to the shaft


def trident12(cv, c, x=0, y=0):
    """Tiny USB trident, 11 x 13 pixels, top-left corner at (x, y)."""
    cv.arrow_head(x + 6, x + 6, y + 0, 2, c)         # arrow head, rows 0..1
    cv.rect(x + 6, y + 2, x + 6, y + 10, c)          # shaft
    cv.disc(x + 6.5, y + 11.5, 1.3, c)               # round foot
    cv.disc(x + 2.5, y + 5.5, 1.3, c)                # left branch: circle,
    cv.line(x + 2, y + 6, x + 5, y + 9, c)           #   in to the shaft
    cv.rect(x + 9, y + 1, x + 11, y + 3, c)          # right branch: square,
    cv.line(x + 10, y + 4, x + 7, y + 7, c)          #   in to the shaft


# --- The pictures ------------------------------------------------------------

def korva(size):
    cv = Canvas(size)
    if size == 32:
        badge(cv, 16, 16, 15.2, [K_BIG, O_BIG])
    else:
        badge(cv, 8, 8, 7.9, [K_MID])
    return cv


def korva_usb(size):
    cv = Canvas(size)
    if size == 32:
        trident24(cv, GREY, 8, 6)
        badge(cv, 6.5, 6.5, 6.6, [K_MID], gap=True)
    else:
        trident12(cv, GREY, 4, 3)
        badge(cv, 3.5, 3.5, 3.6, [K_SMALL], gap=True)
    return cv


def usb(size):
    cv = Canvas(size)
    trident32(cv, BLACK)
    return cv


def usbs(size):
    cv = Canvas(size)
    trident16(cv, YELLOW)
    return cv


# --- ICO writer --------------------------------------------------------------

def bmp_image(cv):
    """One ICO image: BITMAPINFOHEADER, palette, 4-bit XOR bitmap, AND mask."""
    n = cv.size
    xor_stride = ((n * 4 + 31) // 32) * 4
    and_stride = ((n + 31) // 32) * 4
    xor = bytearray()
    mask = bytearray()
    for row in reversed(cv.px):                    # BMP rows run bottom-up
        line = bytearray(xor_stride)
        bits = bytearray(and_stride)
        for x, c in enumerate(row):
            if c is CLEAR:
                bits[x // 8] |= 0x80 >> (x % 8)
                c = 0
            line[x // 2] |= c << (4 if x % 2 == 0 else 0)
        xor += line
        mask += bits
    header = struct.pack('<IiiHHIIiiII', 40, n, 2 * n, 1, 4, 0,
                         len(xor) + len(mask), 0, 0, 16, 0)
    palette = b''.join(struct.pack('<BBBB', b, g, r, 0) for r, g, b in PALETTE)
    return header + palette + bytes(xor) + bytes(mask)


def write_ico(path, canvases):
    images = [bmp_image(cv) for cv in canvases]
    out = bytearray(struct.pack('<HHH', 0, 1, len(images)))
    offset = 6 + 16 * len(images)
    for cv, data in zip(canvases, images):
        out += struct.pack('<BBBBHHII', cv.size % 256, cv.size % 256, 16, 0,
                           1, 4, len(data), offset)
        offset += len(data)
    for data in images:
        out += data
    with open(path, 'wb') as f:
        f.write(out)


# --- PNG and SVG writers for the desktop icon -------------------------------

def write_png(path, cv, scale=1):
    """RGBA PNG of the canvas, each pixel a scale x scale block."""
    n = cv.size * scale
    raw = bytearray()
    for row in cv.px:
        line = bytearray([0])                      # filter type: none
        for c in row:
            rgba = (0, 0, 0, 0) if c is CLEAR else PALETTE[c] + (255,)
            line += bytes(rgba) * scale
        raw += bytes(line) * scale

    def chunk(kind, data):
        body = kind + data
        return struct.pack('>I', len(data)) + body + struct.pack('>I', zlib.crc32(body))

    png = b'\x89PNG\r\n\x1a\n'
    png += chunk(b'IHDR', struct.pack('>IIBBBBB', n, n, 8, 6, 0, 0, 0))
    png += chunk(b'IDAT', zlib.compress(bytes(raw), 9))
    png += chunk(b'IEND', b'')
    with open(path, 'wb') as f:
        f.write(png)


def write_badge_svg(path):
    """The 32-pixel badge as vectors: rim, face and the letter pixels."""
    hexc = lambda c: '#%02x%02x%02x' % PALETTE[c]
    parts = ['<svg xmlns="http://www.w3.org/2000/svg" width="256" height="256" viewBox="0 0 32 32">',
             '<title>USB Device Manager</title>',
             '<circle cx="16" cy="16" r="15.2" fill="%s"/>' % hexc(RIM),
             '<circle cx="16" cy="16" r="14.2" fill="%s"/>' % hexc(BLUE),
             '<g shape-rendering="crispEdges">']
    letters = [K_BIG, O_BIG]
    width = sum(len(g[0]) for g in letters) + len(letters) - 1
    x = int(round(16 - width / 2))
    y = int(round(16 - len(K_BIG) / 2))
    for g in letters:
        for j, row in enumerate(g):                # one rect per run of ink, so no seams
            i = 0
            while i < len(row):
                if row[i] != '#':
                    i += 1
                    continue
                start = i
                while i < len(row) and row[i] == '#':
                    i += 1
                parts.append('<rect x="%d" y="%d" width="%d" height="1.02" fill="%s"/>'
                             % (x + start, y + j, i - start, hexc(WHITE)))
        x += len(g[0]) + 1
    parts += ['</g>', '</svg>', '']
    with open(path, 'w') as f:
        f.write('\n'.join(parts))


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    icons = {
        'korva.ico': [korva(32), korva(16)],
        'korva_usb.ico': [korva_usb(32), korva_usb(16)],
        'usb.ico': [usb(32)],
        'usbs.ico': [usbs(16)],
    }
    for name, canvases in icons.items():
        write_ico(os.path.join(here, name), canvases)
        print('wrote', os.path.join(here, name))
    folder = os.path.join(here, 'icons')
    os.makedirs(folder, exist_ok=True)
    for size, cv, scale in [(16, korva(16), 1), (32, korva(32), 1), (64, korva(32), 2),
                            (128, korva(32), 4), (256, korva(32), 8)]:
        path = os.path.join(folder, 'usb-device-manager-%d.png' % size)
        write_png(path, cv, scale)
        print('wrote', path)
    path = os.path.join(folder, 'usb-device-manager.svg')
    write_badge_svg(path)
    print('wrote', path)


if __name__ == '__main__':
    main()
