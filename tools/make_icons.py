#!/usr/bin/env python3
"""Draws Kelmar's two icon groups as 16-colour .ico files (standard VGA palette), reproducibly.

resources/kelmar.ico (group 102): 32x32 and 16x16, a bar with an open popup of three applications.
resources/clock.ico  (group 110): 32x32, a clock face, for the time at the bar's right end.
Run: python3 tools/make_icons.py   (stdlib only)
"""
import math
import os
import struct

PALETTE = [  # the 16 colours every Windows display has
    (0, 0, 0), (128, 0, 0), (0, 128, 0), (128, 128, 0), (0, 0, 128), (128, 0, 128), (0, 128, 128),
    (192, 192, 192), (128, 128, 128), (255, 0, 0), (0, 255, 0), (255, 255, 0), (0, 0, 255),
    (255, 0, 255), (0, 255, 255), (255, 255, 255)]
BLACK, DKRED, DKGREEN, DKYELLOW, NAVY, DKMAGENTA, TEAL, SILVER, GREY, RED, GREEN, YELLOW, BLUE, MAGENTA, CYAN, WHITE = range(16)
CLEAR = None


def canvas(size):
    return [[CLEAR] * size for _ in range(size)]


def rect(img, x0, y0, x1, y1, colour):
    for y in range(y0, y1 + 1):
        for x in range(x0, x1 + 1):
            img[y][x] = colour


def frame(img, x0, y0, x1, y1, colour):
    rect(img, x0, y0, x1, y0, colour)
    rect(img, x0, y1, x1, y1, colour)
    rect(img, x0, y0, x0, y1, colour)
    rect(img, x1, y0, x1, y1, colour)


def launcher(size):
    """The bar across the top with a popup hanging from it, three coloured apps in the popup."""
    img = canvas(size)
    s = size / 32.0
    p = lambda v: int(round(v * s))
    rect(img, 0, p(2), size - 1, p(9), SILVER)           # the bar
    frame(img, 0, p(2), size - 1, p(9), BLACK)
    rect(img, p(3), p(4), p(8), p(7), NAVY)              # the highlighted menu title
    rect(img, p(22), p(5), p(28), p(6), BLACK)           # the time at the right end
    rect(img, p(3), p(9), p(22), p(29), WHITE)           # the popup
    frame(img, p(3), p(9), p(22), p(29), BLACK)
    rect(img, p(23), p(11), p(23), p(29), GREY)          # its shadow
    for row, colour in enumerate((RED, GREEN, BLUE)):
        top = p(12 + row * 6)
        rect(img, p(5), top, p(5) + max(1, p(3)), top + max(1, p(3)), colour)
        rect(img, p(11), top + max(1, p(1)), p(20), top + max(1, p(2)), GREY)
    if size >= 32:
        rect(img, p(4), p(11), p(21), p(16), NAVY)       # the chosen application
        rect(img, p(5), p(12), p(8), p(15), RED)
        rect(img, p(11), p(13), p(20), p(14), WHITE)
    return img


def clock(size):
    img = canvas(size)
    c = (size - 1) / 2.0
    for y in range(size):
        for x in range(size):
            d = math.hypot(x - c, y - c)
            if d <= c - 0.2:
                img[y][x] = BLACK if d > c - 2.2 else (YELLOW if d > c - 3.4 else WHITE)
    for hour in range(12):
        a = hour * math.pi / 6
        x, y = int(round(c + math.sin(a) * (c - 5))), int(round(c - math.cos(a) * (c - 5)))
        img[y][x] = NAVY
    def hand(angle, length, colour):
        for i in range(int(length * 4)):
            t = i / 4.0
            img[int(round(c - math.cos(angle) * t))][int(round(c + math.sin(angle) * t))] = colour
    hand(math.radians(300), c - 9, BLACK)                # hour hand, towards ten
    hand(math.radians(60), c - 6, BLACK)                 # minute hand, towards two
    hand(math.radians(180), c - 6, RED)                  # second hand, straight down
    img[int(c)][int(c)] = RED
    return img


def dib(img):
    """BITMAPINFOHEADER, palette, 4-bit XOR rows and 1-bit AND mask, bottom-up, rows padded to 4 bytes."""
    size = len(img)
    header = struct.pack('<IiiHHIIiiII', 40, size, size * 2, 1, 4, 0, 0, 0, 0, 16, 0)
    palette = b''.join(struct.pack('BBBB', b, g, r, 0) for r, g, b in PALETTE)
    xor_rows, and_rows = [], []
    for row in reversed(img):
        nibbles = [(v if v is not None else 0) for v in row]
        data = bytes((nibbles[i] << 4) | nibbles[i + 1] for i in range(0, size, 2))
        xor_rows.append(data + b'\0' * (-len(data) % 4))
        bits = 0
        mask = bytearray()
        for i, v in enumerate(row):
            bits = (bits << 1) | (1 if v is None else 0)
            if i % 8 == 7:
                mask.append(bits)
                bits = 0
        and_rows.append(bytes(mask) + b'\0' * (-len(mask) % 4))
    return header + palette + b''.join(xor_rows) + b''.join(and_rows)


def write_ico(path, images):
    blobs = [dib(img) for img in images]
    out = struct.pack('<HHH', 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for img, blob in zip(images, blobs):
        size = len(img)
        out += struct.pack('<BBBBHHII', size, size, 16, 0, 1, 4, len(blob), offset)
        offset += len(blob)
    with open(path, 'wb') as f:
        f.write(out + b''.join(blobs))


if __name__ == '__main__':
    here = os.path.join(os.path.dirname(os.path.abspath(__file__)), '..', 'resources')
    write_ico(os.path.join(here, 'kelmar.ico'), [launcher(32), launcher(16)])
    write_ico(os.path.join(here, 'clock.ico'), [clock(32)])
