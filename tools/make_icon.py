#!/usr/bin/env python3
"""Draws the launcher's application icon and writes it as a Windows .ico with ten images.

The design: a teal rounded square with a white "V" and an amber prompt bar, the console
waiting for input. Small sizes come as 16-colour palette bitmaps (the design has four colours,
so they lose nothing to 256-colour ones at a third of the bytes) and 32-bit bitmaps; 48, 64 and
256 pixels as PNG, which every Windows since Vista reads and which keeps the file small.
The output depends on nothing but this script, so every build makes the same bytes.

usage: make_icon.py OUTPUT.ico
"""

import struct
import sys
import zlib

TRANSPARENT, TEAL, WHITE, AMBER = range(4)
PALETTE = {TRANSPARENT: (0, 0, 0), TEAL: (14, 110, 140), WHITE: (255, 255, 255),
           AMBER: (255, 176, 32)}

BITMAP_4BIT_SIZES = (16, 24, 32, 48)
BITMAP_32BIT_SIZES = (16, 24, 32)
PNG_SIZES = (48, 64, 256)


def distance_to_segment(px, py, ax, ay, bx, by):
    dx, dy = bx - ax, by - ay
    t = max(0.0, min(1.0, ((px - ax) * dx + (py - ay) * dy) / (dx * dx + dy * dy)))
    cx, cy = ax + t * dx, ay + t * dy
    return ((px - cx) ** 2 + (py - cy) ** 2) ** 0.5


def inside_rounded_square(x, y, margin=0.05, radius=0.2):
    lo, hi = margin + radius, 1.0 - margin - radius
    cx, cy = min(max(x, lo), hi), min(max(y, lo), hi)
    return (x - cx) ** 2 + (y - cy) ** 2 <= radius * radius


def colour_at(x, y):
    """The design's colour index at (x, y), both in [0, 1], y growing downwards."""
    if not inside_rounded_square(x, y):
        return TRANSPARENT
    if 0.60 <= x <= 0.80 and 0.70 <= y <= 0.78:
        return AMBER
    half_width = 0.075
    if (distance_to_segment(x, y, 0.24, 0.24, 0.44, 0.74) <= half_width
            or distance_to_segment(x, y, 0.44, 0.74, 0.64, 0.24) <= half_width):
        return WHITE
    return TEAL


def rgba_pixels(size, samples=4):
    """Rows top to bottom of (r, g, b, a), each pixel averaged over samples x samples points."""
    rows = []
    for row in range(size):
        pixels = []
        for column in range(size):
            r = g = b = a = 0
            for sy in range(samples):
                for sx in range(samples):
                    index = colour_at((column + (sx + 0.5) / samples) / size,
                                      (row + (sy + 0.5) / samples) / size)
                    if index != TRANSPARENT:
                        cr, cg, cb = PALETTE[index]
                        r, g, b, a = r + cr, g + cg, b + cb, a + 1
            if a:
                pixels.append((r // a, g // a, b // a, 255 * a // (samples * samples)))
            else:
                pixels.append((0, 0, 0, 0))
        rows.append(pixels)
    return rows


def and_mask(size, opaque):
    """The 1-bit transparency mask, bottom-up, rows padded to 32 bits; opaque(row, column)."""
    stride = (size + 31) // 32 * 4
    data = bytearray()
    for row in reversed(range(size)):
        bits = bytearray(stride)
        for column in range(size):
            if not opaque(row, column):
                bits[column // 8] |= 0x80 >> (column % 8)
        data += bits
    return bytes(data)


def bitmap_header(size, bits, colours=0):
    return struct.pack('<IiiHHIIiiII', 40, size, size * 2, 1, bits, 0, 0, 0, 0, colours, 0)


def bitmap_4bit(size):
    indexes = [[colour_at((c + 0.5) / size, (r + 0.5) / size) for c in range(size)]
               for r in range(size)]
    palette = bytearray(16 * 4)
    for index, (red, green, blue) in PALETTE.items():
        palette[index * 4:index * 4 + 4] = bytes((blue, green, red, 0))
    # Two pixels a byte, the left one in the high half; rows padded to 32 bits.
    stride = (size + 7) // 8 * 4
    pixels = b''.join(bytes(row[c] << 4 | row[c + 1] for c in range(0, size, 2))
                      + bytes(stride - size // 2) for row in reversed(indexes))
    mask = and_mask(size, lambda r, c: indexes[r][c] != TRANSPARENT)
    return bitmap_header(size, 4, 16) + bytes(palette) + pixels + mask


def bitmap_32bit(size):
    rows = rgba_pixels(size)
    pixels = b''.join(bytes((b, g, r, a)) for row in reversed(rows) for r, g, b, a in row)
    mask = and_mask(size, lambda r, c: rows[r][c][3] != 0)
    return bitmap_header(size, 32) + pixels + mask


def png(size):
    def chunk(kind, data):
        return (struct.pack('>I', len(data)) + kind + data
                + struct.pack('>I', zlib.crc32(kind + data) & 0xffffffff))
    raw = b''.join(b'\0' + b''.join(bytes(pixel) for pixel in row) for row in rgba_pixels(size))
    return (b'\x89PNG\r\n\x1a\n'
            + chunk(b'IHDR', struct.pack('>IIBBBBB', size, size, 8, 6, 0, 0, 0))
            + chunk(b'IDAT', zlib.compress(raw, 9))
            + chunk(b'IEND', b''))


def icon_file():
    images = ([(size, 4, 16, bitmap_4bit(size)) for size in BITMAP_4BIT_SIZES]
              + [(size, 32, 0, bitmap_32bit(size)) for size in BITMAP_32BIT_SIZES]
              + [(size, 32, 0, png(size)) for size in PNG_SIZES])
    header = struct.pack('<HHH', 0, 1, len(images))
    offset = len(header) + 16 * len(images)
    directory, data = b'', b''
    for size, bits, colours, image in images:
        directory += struct.pack('<BBBBHHII', size % 256, size % 256, colours % 256, 0, 1, bits,
                                 len(image), offset + len(data))
        data += image
    return header + directory + data


def main():
    if len(sys.argv) != 2:
        sys.exit(__doc__.strip().splitlines()[-1])
    with open(sys.argv[1], 'wb') as output:
        output.write(icon_file())


if __name__ == '__main__':
    main()
