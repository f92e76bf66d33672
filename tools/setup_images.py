#!/usr/bin/env python3
"""Draws the Windows setup's two pictures as 16-colour bitmaps in Kelmar's own look, reproducibly.

WIZARD (164x314): the welcome and finish pages' side picture, Kelmar's bar and an open popup on the
teal of a plain desktop. CHECKS (96x16): the six boxes of the components lists. Flat 16-colour art
keeps both small: the setup must stay under 160 KiB.
Run: python3 tools/setup_images.py WIZARD.bmp CHECKS.bmp   (stdlib only)
"""
import os
import struct
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from make_icons import (PALETTE, BLACK, GREY, SILVER, TEAL, WHITE, MAGENTA,  # noqa: E402
                        canvas, frame, launcher, rect)


def write_bmp(path, img):
    """A bottom-up 4-bit BMP (BI_RGB) with the 16-colour palette."""
    height, width = len(img), len(img[0])
    rows = []
    for row in reversed(img):
        nibbles = list(row) + [0] * (width % 2)
        data = bytes((nibbles[i] << 4) | nibbles[i + 1] for i in range(0, len(nibbles), 2))
        rows.append(data + b'\0' * (-len(data) % 4))
    pixels = b''.join(rows)
    offset = 14 + 40 + 4 * len(PALETTE)
    with open(path, 'wb') as f:
        f.write(b'BM' + struct.pack('<IHHI', offset + len(pixels), 0, 0, offset))
        f.write(struct.pack('<IiiHHIIiiII', 40, width, height, 1, 4, 0, len(pixels), 2835, 2835, 16, 0))
        f.write(b''.join(struct.pack('BBBB', b, g, r, 0) for r, g, b in PALETTE))
        f.write(pixels)


def wizard():
    """Teal, with Kelmar's launcher drawn four times the icon's size near the top."""
    img = [[TEAL] * 164 for _ in range(314)]
    picture = launcher(128)
    for y, row in enumerate(picture):
        for x, colour in enumerate(row):
            if colour is not None:
                img[40 + y][18 + x] = colour
    return img


def checks():
    """Six 16x16 cells on the list's transparent magenta: none, unchecked, checked, partly checked,
    and the two a user cannot change (unchecked, checked), greyed."""
    img = [[MAGENTA] * 96 for _ in range(16)]

    def cell(n, fill, mark, border):
        x0 = n * 16 + 1
        part = canvas(13)
        rect(part, 0, 0, 12, 12, fill)
        frame(part, 0, 0, 12, 12, border)
        if mark is not None:  # the tick: down from the left, then up to the right
            for dx, dy in [(3, 5), (4, 6), (5, 7), (6, 6), (7, 5), (8, 4), (9, 3)]:
                rect(part, dx, dy, dx, dy + 2, mark)
        for y, row in enumerate(part):
            for x, colour in enumerate(row):
                img[2 + y][x0 + x] = colour

    cell(1, WHITE, None, BLACK)
    cell(2, WHITE, BLACK, BLACK)
    cell(3, SILVER, GREY, BLACK)
    cell(4, SILVER, None, GREY)
    cell(5, SILVER, GREY, GREY)
    return img


if __name__ == '__main__':
    if len(sys.argv) != 3:
        sys.exit('usage: setup_images.py WIZARD.bmp CHECKS.bmp')
    write_bmp(sys.argv[1], wizard())
    write_bmp(sys.argv[2], checks())
