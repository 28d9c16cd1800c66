#!/usr/bin/env python3
"""Draws the battery gauge pictures of the main window header (32 x 16 RGBA PNG).

Run from this folder: python3 make_images.py
Only the standard library is used, so the pictures can be redrawn anywhere.
"""
import struct
import zlib

W, H = 32, 16
OUTLINE = (64, 64, 64, 255)
INSIDE = (250, 250, 250, 255)
CLEAR = (0, 0, 0, 0)
# Fill colour by charge: a low battery must stand out at a glance.
LEVELS = {0: None, 25: (220, 40, 40, 255), 50: (235, 175, 0, 255),
          75: (40, 170, 40, 255), 100: (40, 170, 40, 255)}


def battery(percent):
    px = [[CLEAR] * W for _ in range(H)]
    # Body 1..24 x 2..13, terminal 25..27 x 5..10; the rest stays clear so the
    # picture keeps its distance from the lamps at its right.
    for y in range(2, 14):
        for x in range(1, 25):
            edge = y in (2, 13) or x in (1, 24)
            px[y][x] = OUTLINE if edge else INSIDE
    for y in range(5, 11):
        for x in range(25, 28):
            px[y][x] = OUTLINE
    colour = LEVELS[percent]
    if colour:
        width = round(20 * percent / 100)  # inner cells 3..22
        for y in range(4, 12):
            for x in range(3, 3 + width):
                px[y][x] = colour
    return px


def write_png(path, px):
    raw = b"".join(b"\x00" + b"".join(bytes(c) for c in row) for row in px)

    def chunk(tag, data):
        body = tag + data
        return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body))

    with open(path, "wb") as f:
        f.write(b"\x89PNG\r\n\x1a\n")
        f.write(chunk(b"IHDR", struct.pack(">IIBBBBB", W, H, 8, 6, 0, 0, 0)))
        f.write(chunk(b"IDAT", zlib.compress(raw, 9)))
        f.write(chunk(b"IEND", b""))


if __name__ == "__main__":
    for p in LEVELS:
        write_png(f"battery{p}.png", battery(p))
