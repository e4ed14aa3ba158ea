#!/usr/bin/env python3
"""Draws the program's icon (an open book on a blue tile) at 16x16 and 32x32
and writes it as a Windows .ico with 32-bit images. Usage: make_icon.py OUT.ico"""
import struct
import sys

BLUE = (0x2B, 0x5C, 0xB8, 0xFF)
DARK = (0x1A, 0x3A, 0x78, 0xFF)
PAGE = (0xFA, 0xFA, 0xF2, 0xFF)
LINE = (0x9A, 0xA8, 0xC0, 0xFF)
CLEAR = (0, 0, 0, 0)


def pixel(x, y, n):
    """Colour of pixel (x, y), y counted from the top, in an n x n icon."""
    edge = max(1, n // 16)
    if x < edge or y < edge or x >= n - edge or y >= n - edge:
        corner = (x < edge or x >= n - edge) and (y < edge or y >= n - edge)
        return CLEAR if corner else DARK
    top, bottom = n * 4 // 16, n * 13 // 16
    left, right, spine = n * 3 // 16, n * 13 // 16, n // 2
    if top <= y < bottom and left <= x < right:
        if x in (spine - 1, spine) and n >= 32 or x == spine and n < 32:
            return DARK
        row = y - top
        if row > 1 and row % max(2, n // 8) == 0 and x not in (left, right - 1):
            return LINE
        return PAGE
    return BLUE


def image(n):
    rows = []
    for y in range(n - 1, -1, -1):  # bottom-up rows
        rows.append(b"".join(bytes((b, g, r, a)) for (r, g, b, a) in (pixel(x, y, n) for x in range(n))))
    colour = b"".join(rows)
    mask_row = ((n + 31) // 32) * 4
    mask = bytes(mask_row * n)  # alpha decides; the AND mask is all zero
    header = struct.pack("<IiiHHIIiiII", 40, n, n * 2, 1, 32, 0, len(colour) + len(mask), 0, 0, 0, 0)
    return header + colour + mask


def main():
    sizes = (16, 32)
    images = [image(n) for n in sizes]
    out = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for n, data in zip(sizes, images):
        out += struct.pack("<BBBBHHII", n, n, 0, 0, 1, 32, len(data), offset)
        offset += len(data)
    out += b"".join(images)
    with open(sys.argv[1], "wb") as f:
        f.write(out)


if __name__ == "__main__":
    main()
