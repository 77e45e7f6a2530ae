#!/usr/bin/env python3
"""Draws the program icon (resource 107) into program.ico.

Two images of 16 colours on a transparent background: at 32x32 a grey
diskette at the upper left, a dotted yellow path from it to the right and
down, and a dark-red disc lying flat at the lower right; at 16x16 a small
grey shape, a light-grey diagonal stroke and the dark-red disc.

Standard library only, so the icon can be redrawn on any machine:
    python3 res/make_icon.py res/program.ico
"""

import struct
import sys

# The 16 colours every Windows display can show, in their usual order.
PALETTE = [
    (0x00, 0x00, 0x00), (0x80, 0x00, 0x00), (0x00, 0x80, 0x00), (0x80, 0x80, 0x00),
    (0x00, 0x00, 0x80), (0x80, 0x00, 0x80), (0x00, 0x80, 0x80), (0xC0, 0xC0, 0xC0),
    (0x80, 0x80, 0x80), (0xFF, 0x00, 0x00), (0x00, 0xFF, 0x00), (0xFF, 0xFF, 0x00),
    (0x00, 0x00, 0xFF), (0xFF, 0x00, 0xFF), (0x00, 0xFF, 0xFF), (0xFF, 0xFF, 0xFF),
]
BLACK, DARK_RED, LIGHT_GREY, DARK_GREY, YELLOW, WHITE = 0, 1, 7, 8, 11, 15
CLEAR = None  # transparent


class Canvas:
    def __init__(self, size):
        self.size = size
        self.px = [[CLEAR] * size for _ in range(size)]

    def put(self, x, y, colour):
        if 0 <= x < self.size and 0 <= y < self.size:
            self.px[y][x] = colour

    def rect(self, x0, y0, x1, y1, colour):
        for y in range(y0, y1 + 1):
            for x in range(x0, x1 + 1):
                self.put(x, y, colour)

    def frame(self, x0, y0, x1, y1, colour):
        for x in range(x0, x1 + 1):
            self.put(x, y0, colour)
            self.put(x, y1, colour)
        for y in range(y0, y1 + 1):
            self.put(x0, y, colour)
            self.put(x1, y, colour)

    def ellipse(self, cx, cy, rx, ry, colour):
        for y in range(self.size):
            for x in range(self.size):
                dx, dy = (x + 0.5 - cx) / rx, (y + 0.5 - cy) / ry
                if dx * dx + dy * dy <= 1.0:
                    self.put(x, y, colour)


def draw_large():
    c = Canvas(32)
    # Diskette: grey body with a clipped corner, metal shutter, paper label.
    c.rect(1, 1, 14, 14, DARK_GREY)
    c.frame(1, 1, 14, 14, BLACK)
    c.put(14, 1, CLEAR)
    c.put(13, 1, BLACK)
    c.put(14, 2, BLACK)
    c.rect(4, 1, 10, 5, LIGHT_GREY)
    c.frame(4, 1, 10, 5, BLACK)
    c.rect(8, 2, 9, 4, DARK_GREY)
    c.rect(3, 8, 12, 13, WHITE)
    c.frame(3, 8, 12, 13, BLACK)
    # Dotted path: to the right, then down towards the disc.
    for x in range(16, 27, 2):
        c.put(x, 7, YELLOW)
        c.put(x, 8, YELLOW)
    for y in range(10, 21, 2):
        c.put(26, y, YELLOW)
        c.put(27, y, YELLOW)
    # The disc lying flat: its edge, the top face, the hub.
    c.ellipse(22.0, 27.0, 9.0, 4.0, BLACK)
    c.ellipse(22.0, 25.5, 9.0, 4.0, DARK_RED)
    c.ellipse(22.0, 25.5, 2.5, 1.2, BLACK)
    return c


def draw_small():
    c = Canvas(16)
    c.rect(0, 0, 6, 6, DARK_GREY)
    c.frame(0, 0, 6, 6, BLACK)
    c.rect(2, 0, 4, 2, LIGHT_GREY)
    for i in range(7, 11):
        c.put(i, i, LIGHT_GREY)
        c.put(i + 1, i, LIGHT_GREY)
    c.ellipse(11.0, 13.5, 5.0, 2.5, BLACK)
    c.ellipse(11.0, 12.8, 5.0, 2.2, DARK_RED)
    c.put(10, 12, BLACK)
    c.put(11, 12, BLACK)
    return c


def row_bytes(bits):
    return (bits + 31) // 32 * 4


def dib(canvas):
    """The icon image as stored in an .ico: header, palette, colour bits, mask."""
    n = canvas.size
    header = struct.pack('<IiiHHIIiiII', 40, n, 2 * n, 1, 4, 0, 0, 0, 0, 16, 0)
    palette = b''.join(struct.pack('<BBBB', b, g, r, 0) for (r, g, b) in PALETTE)
    colour, mask = bytearray(), bytearray()
    for y in reversed(range(n)):  # bottom-up rows
        row = canvas.px[y]
        line = bytearray(row_bytes(4 * n))
        bits = bytearray(row_bytes(n))
        for x, value in enumerate(row):
            index = BLACK if value is CLEAR else value
            line[x // 2] |= index << (4 if x % 2 == 0 else 0)
            if value is CLEAR:
                bits[x // 8] |= 0x80 >> (x % 8)
        colour += line
        mask += bits
    return header + palette + bytes(colour) + bytes(mask)


def ico(canvases):
    images = [dib(c) for c in canvases]
    out = struct.pack('<HHH', 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for c, data in zip(canvases, images):
        out += struct.pack('<BBBBHHII', c.size, c.size, 16, 0, 1, 4, len(data), offset)
        offset += len(data)
    return out + b''.join(images)


def main():
    if len(sys.argv) != 2:
        sys.exit('usage: make_icon.py OUTPUT.ico')
    with open(sys.argv[1], 'wb') as f:
        f.write(ico([draw_large(), draw_small()]))


if __name__ == '__main__':
    main()
