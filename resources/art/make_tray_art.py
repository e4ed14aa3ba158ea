#!/usr/bin/env python3
"""Draws the bitmaps of the tray pop-up and the download block view and writes
them as 24-bit BMP files into the folder given as the argument:
tray_background.bmp (219x141), tray_close.bmp (15x15), block_pending.bmp and
block_done.bmp (10x10 cells)."""
import pathlib
import struct
import sys

WHITE = (255, 255, 255)
EDGE = (0x1A, 0x3A, 0x78)
HEADER_TOP = (0x3C, 0x6E, 0xC8)
HEADER_BOTTOM = (0x2B, 0x5C, 0xB8)
BODY_TOP = (0xF4, 0xF8, 0xFF)
BODY_BOTTOM = (0xD8, 0xE4, 0xF6)
RULE = (0xA8, 0xB8, 0xD8)
RED = (0xC8, 0x30, 0x30)
CELL_EDGE = (0x90, 0x98, 0xA8)
CELL_PENDING = (0xE6, 0xE9, 0xEE)
CELL_DONE = (0x2F, 0x8F, 0x4E)
CELL_DONE_LIGHT = (0x5C, 0xBF, 0x7A)


def blend(a, b, t):
    return tuple(round(x + (y - x) * t) for x, y in zip(a, b))


def bmp(width, height, pixel):
    """pixel(x, y) with y counted from the top."""
    row_size = (width * 3 + 3) // 4 * 4
    rows = []
    for y in range(height - 1, -1, -1):
        row = b"".join(bytes((b, g, r)) for (r, g, b) in (pixel(x, y) for x in range(width)))
        rows.append(row + bytes(row_size - len(row)))
    data = b"".join(rows)
    header = struct.pack("<IiiHHIIiiII", 40, width, height, 1, 24, 0, len(data), 2835, 2835, 0, 0)
    return b"BM" + struct.pack("<IHHI", 14 + len(header) + len(data), 0, 0, 14 + len(header)) + header + data


def background(x, y):
    if x == 0 or y == 0 or x == 218 or y == 140:
        return EDGE
    if y < 16:  # a band above the name, where the close button sits
        return blend(HEADER_TOP, HEADER_BOTTOM, y / 16)
    if y == 100:  # above the links
        return RULE
    return blend(BODY_TOP, BODY_BOTTOM, (y - 16) / 124)


def close(x, y):
    if x in (0, 14) or y in (0, 14):
        return EDGE
    if 3 <= x <= 11 and (x == y or x == 14 - y or abs(x - y) == 1 and 3 <= y <= 11 or abs(x + y - 14) == 1 and 3 <= y <= 11):
        return WHITE
    return RED


def cell(fill, light):
    def pixel(x, y):
        if x == 9 or y == 9:
            return WHITE  # the gap between cells
        if x == 0 or y == 0 or x == 8 or y == 8:
            return CELL_EDGE if fill == CELL_PENDING else fill
        return light if (x + y) < 6 else fill
    return pixel


def main():
    out = pathlib.Path(sys.argv[1])
    out.mkdir(parents=True, exist_ok=True)
    (out / "tray_background.bmp").write_bytes(bmp(219, 141, background))
    (out / "tray_close.bmp").write_bytes(bmp(15, 15, close))
    (out / "block_pending.bmp").write_bytes(bmp(10, 10, cell(CELL_PENDING, WHITE)))
    (out / "block_done.bmp").write_bytes(bmp(10, 10, cell(CELL_DONE, CELL_DONE_LIGHT)))


if __name__ == "__main__":
    main()
