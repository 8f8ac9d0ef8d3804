#!/usr/bin/env python3
"""Draws the program icon (a 3.5-inch floppy disk) as 32x32 and 16x16 images of 16 colours and writes korvane.ico.

The icon is committed; run this again only to change the drawing: python3 resources/make_icon.py
"""
import os
import struct

# The standard 16-colour palette, as (blue, green, red, 0) entries.
PALETTE = [
    (0, 0, 0), (128, 0, 0), (0, 128, 0), (128, 128, 0), (0, 0, 128), (128, 0, 128), (0, 128, 128), (192, 192, 192),
    (128, 128, 128), (255, 0, 0), (0, 255, 0), (255, 255, 0), (0, 0, 255), (255, 0, 255), (0, 255, 255),
    (255, 255, 255),
]  # listed as (red, green, blue)
BLACK, NAVY, GREY, SILVER, BLUE, WHITE = 0, 4, 8, 7, 12, 15
CLEAR = None

# One character per pixel: '.' transparent, 'k' black outline, 'b' blue body, 'n' navy shade, 's' silver shutter,
# 'g' grey shutter slot, 'w' white label, 'l' label lines (navy).
KEY = {'.': CLEAR, 'k': BLACK, 'b': BLUE, 'n': NAVY, 's': SILVER, 'g': GREY, 'w': WHITE, 'l': NAVY}


def floppy(size):
    """A floppy disk drawn on a size x size grid: outline, body, shutter with its slot, label, cut corner."""
    rows = [['.'] * size for _ in range(size)]
    m = 1 if size == 32 else 0          # margin
    top, bottom, left, right = m, size - 1 - m, m, size - 1 - m
    cut = size // 8                     # the cut top-right corner
    for y in range(top, bottom + 1):
        for x in range(left, right + 1):
            if x - (right - cut) > y - top:
                continue                # cut corner stays transparent
            edge = y in (top, bottom) or x in (left, right) or x - (right - cut) == y - top
            rows[y][x] = 'k' if edge else 'b'
    # Metal shutter across the top middle with a slot in it.
    sx0, sx1 = left + size // 4, right - size // 4 - (1 if size == 16 else 2)
    sy1 = top + size * 5 // 16
    for y in range(top + 1, sy1 + 1):
        for x in range(sx0, sx1 + 1):
            rows[y][x] = 'k' if x in (sx0, sx1) or y == sy1 else 's'
    slot_x = sx1 - max(2, size // 8)
    for y in range(top + 2, sy1 - 1):
        for x in range(slot_x, slot_x + max(1, size // 16)):
            rows[y][x] = 'g'
    # White label on the lower half, with a few lines of writing.
    lx0, lx1 = left + size // 8, right - size // 8
    ly0, ly1 = top + size // 2, bottom - (2 if size == 32 else 1)
    for y in range(ly0, ly1 + 1):
        for x in range(lx0, lx1 + 1):
            rows[y][x] = 'k' if y == ly0 or x in (lx0, lx1) else 'w'
    step = 3 if size == 32 else 2
    for y in range(ly0 + step, ly1, step):
        for x in range(lx0 + 2, lx1 - 1):
            rows[y][x] = 'l'
    # A shade along the body's lower edge gives it some depth.
    for x in range(left + 1, right):
        if rows[bottom - 1][x] == 'b':
            rows[bottom - 1][x] = 'n'
    return [''.join(r) for r in rows]


def icon_image(rows):
    """The DIB of one icon image: header, palette, 4-bit colour rows and 1-bit mask rows, both bottom-up."""
    size = len(rows)
    header = struct.pack('<IiiHHIIiiII', 40, size, size * 2, 1, 4, 0, 0, 0, 0, 16, 0)
    palette = b''.join(struct.pack('<BBBB', b, g, r, 0) for (r, g, b) in PALETTE)
    colour = b''
    mask = b''
    for row in reversed(rows):
        indices = [KEY[c] if KEY[c] is not None else 0 for c in row]
        packed = bytes((indices[i] << 4) | indices[i + 1] for i in range(0, size, 2))
        colour += packed + b'\0' * ((4 - len(packed) % 4) % 4)
        bits = 0
        out = b''
        for i, c in enumerate(row):
            bits = (bits << 1) | (1 if KEY[c] is None else 0)
            if i % 8 == 7:
                out += bytes([bits])
                bits = 0
        mask += out + b'\0' * ((4 - len(out) % 4) % 4)
    return header + palette + colour + mask


def main():
    images = [icon_image(floppy(32)), icon_image(floppy(16))]
    sizes = [32, 16]
    offset = 6 + 16 * len(images)
    data = struct.pack('<HHH', 0, 1, len(images))
    for image, size in zip(images, sizes):
        data += struct.pack('<BBBBHHII', size, size, 16, 0, 1, 4, len(image), offset)
        offset += len(image)
    data += b''.join(images)
    path = os.path.join(os.path.dirname(os.path.abspath(__file__)), 'korvane.ico')
    with open(path, 'wb') as f:
        f.write(data)
    for size in sizes:
        print('\n'.join(floppy(size)), end='\n\n')


if __name__ == '__main__':
    main()
