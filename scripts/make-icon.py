#!/usr/bin/env python3
"""Draws the program's icon: one 48 x 48 image with a 256-colour palette.

A parcel above a railway track, with an arrow that puts the parcel onto the track: a package
installed into the railway. Writes src/app/win32/kolvane.ico; the output is the same bytes on
every run, and the file is committed, so the build needs no Python.
"""
import struct
import sys
from pathlib import Path

SIZE = 48

# The palette: the colours used first, the rest black. Index 0 stands behind transparent pixels.
COLOURS = [
    (0, 0, 0),        # 0 transparent / black
    (40, 40, 40),     # 1 outline
    (196, 140, 72),   # 2 parcel
    (150, 100, 48),   # 3 parcel shade
    (236, 196, 128),  # 4 parcel light
    (110, 72, 36),    # 5 tape
    (140, 140, 148),  # 6 rail
    (210, 210, 218),  # 7 rail light
    (96, 64, 40),     # 8 sleeper
    (32, 96, 200),    # 9 arrow
    (120, 170, 240),  # 10 arrow light
]


def draw():
    pixels = [[None] * SIZE for _ in range(SIZE)]  # None: transparent

    def rect(x0, y0, x1, y1, colour):
        for y in range(y0, y1 + 1):
            for x in range(x0, x1 + 1):
                pixels[y][x] = colour

    # Track: sleepers first, then two rails across them.
    for x in range(2, 46, 6):
        rect(x, 38, x + 3, 45, 8)
    for top in (39, 43):
        rect(0, top, 47, top + 1, 6)
        rect(0, top, 47, top, 7)

    # Parcel with a shaded side, light top and a tape across.
    rect(12, 14, 35, 33, 1)
    rect(13, 15, 34, 32, 2)
    rect(13, 15, 34, 17, 4)
    rect(30, 18, 34, 32, 3)
    rect(22, 15, 25, 32, 5)

    # Arrow from above into the parcel.
    rect(21, 1, 26, 8, 9)
    rect(22, 1, 23, 8, 10)
    for row, half in enumerate(range(8, 0, -1)):
        y = 9 + row
        rect(24 - half, y, 23 + half, y, 9)
    return pixels


def ico(pixels):
    row_bytes = SIZE  # 8 bits a pixel; 48 is a multiple of 4
    mask_row_bytes = ((SIZE + 31) // 32) * 4
    xor = bytearray()
    mask = bytearray()
    for y in reversed(range(SIZE)):  # bottom-up
        xor += bytes(p if p is not None else 0 for p in pixels[y])
        row = bytearray(mask_row_bytes)
        for x, p in enumerate(pixels[y]):
            if p is None:
                row[x // 8] |= 0x80 >> (x % 8)
        mask += row
    palette = bytearray()
    for index in range(256):
        r, g, b = COLOURS[index] if index < len(COLOURS) else (0, 0, 0)
        palette += bytes((b, g, r, 0))
    image_size = len(xor) + len(mask)
    header = struct.pack("<IiiHHIIiiII", 40, SIZE, SIZE * 2, 1, 8, 0, image_size, 0, 0, 256, 0)
    image = header + palette + xor + mask
    directory = struct.pack("<HHH", 0, 1, 1)
    entry = struct.pack("<BBBBHHII", SIZE, SIZE, 0, 0, 1, 8, len(image), 6 + 16)
    assert len(xor) == row_bytes * SIZE
    return directory + entry + image


def main():
    out = Path(sys.argv[1]) if len(sys.argv) > 1 else (
        Path(__file__).resolve().parent.parent / "src/app/win32/kolvane.ico")
    out.write_bytes(ico(draw()))


if __name__ == "__main__":
    main()
