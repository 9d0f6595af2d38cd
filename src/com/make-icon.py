#!/usr/bin/env python3
"""Writes lineprobe.ico, the dialog's icon: a status file whose first line is marked.

Run once; the result is committed. Two 16-colour images, 32x32 and 16x16.
    python3 src/com/make-icon.py src/com/lineprobe.ico
"""
import struct
import sys

# The standard 16-colour palette, in the order every 4-bit icon uses.
PALETTE = [
    (0, 0, 0), (128, 0, 0), (0, 128, 0), (128, 128, 0),
    (0, 0, 128), (128, 0, 128), (0, 128, 128), (192, 192, 192),
    (128, 128, 128), (255, 0, 0), (0, 255, 0), (255, 255, 0),
    (0, 0, 255), (255, 0, 255), (0, 255, 255), (255, 255, 255),
]
TRANSPARENT, BLACK, DARK_GREEN, GREY, SILVER, RED, WHITE = None, 0, 2, 8, 7, 9, 15


def draw(size):
    """The picture as rows of palette indexes (None is transparent), top row first."""
    s = size / 32
    px = [[TRANSPARENT] * size for _ in range(size)]

    def box(x0, y0, x1, y1, colour):
        for y in range(int(y0 * s), max(int(y1 * s), int(y0 * s) + 1)):
            for x in range(int(x0 * s), max(int(x1 * s), int(x0 * s) + 1)):
                px[y][x] = colour

    def pixel_box(x0, y0, x1, y1, colour):  # in pixels of this size, ends inclusive
        for y in range(y0, y1 + 1):
            for x in range(x0, x1 + 1):
                px[y][x] = colour

    left, top, right, bottom = int(5 * s), int(1 * s), int(26 * s), size - 1
    fold = int(6 * s)
    pixel_box(left, top, right, bottom, BLACK)               # the sheet and its outline
    pixel_box(left + 1, top + 1, right - 1, bottom - 1, WHITE)
    pixel_box(right - fold, top, right, top + fold, TRANSPARENT)  # folded corner
    for i in range(fold + 1):
        pixel_box(right - fold, top + i, right - fold + i, top + i, SILVER)
        px[top + i][right - fold + i] = BLACK
    pixel_box(right - fold, top, right - fold, top + fold, BLACK)
    pixel_box(right - fold, top + fold, right, top + fold, BLACK)
    box(8, 10, 24, 13, DARK_GREEN)     # the first line, where the word is found
    box(8, 11, 24, 12, RED)
    for y in (16, 20, 24):             # the other lines
        box(8, y, 24 if y != 24 else 18, y + 2, GREY)
    return px


def image(size):
    px = draw(size)
    xor_stride = ((size * 4 + 31) // 32) * 4
    and_stride = ((size + 31) // 32) * 4
    xor = bytearray()
    mask = bytearray()
    for row in reversed(px):  # bitmaps are stored bottom-up
        line = bytearray(xor_stride)
        bits = bytearray(and_stride)
        for x, colour in enumerate(row):
            index = 0 if colour is None else colour
            line[x // 2] |= index << (4 if x % 2 == 0 else 0)
            if colour is None:
                bits[x // 8] |= 0x80 >> (x % 8)
        xor += line
        mask += bits
    header = struct.pack('<IiiHHIIiiII', 40, size, size * 2, 1, 4, 0, len(xor) + len(mask), 0, 0, 0, 0)
    palette = b''.join(struct.pack('<BBBB', b, g, r, 0) for r, g, b in PALETTE)
    return header + palette + bytes(xor) + bytes(mask)


def main(path):
    sizes = (32, 16)
    images = [image(size) for size in sizes]
    out = struct.pack('<HHH', 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for size, data in zip(sizes, images):
        out += struct.pack('<BBBBHHII', size, size, 16, 0, 1, 4, len(data), offset)
        offset += len(data)
    with open(path, 'wb') as f:
        f.write(out + b''.join(images))


if __name__ == '__main__':
    main(sys.argv[1] if len(sys.argv) > 1 else 'lineprobe.ico')
