#!/usr/bin/env python3
"""Draws the login dialog's banner: 320 x 60 pixels, 256 colours (an indexed PNG).

A dusk-blue band that fades to the right, with a padlock on the left and three dots for the
hidden password. Run it again after changing the drawing:  python3 make_login_banner.py OUT.png
"""
import struct
import sys
import zlib

WIDTH, HEIGHT = 320, 60

# The palette: 0-191 the band's fade, then the few flat colours of the drawing.
FADE = 192
BODY, SHACKLE, KEYHOLE, DOT, EDGE = range(FADE, FADE + 5)


def palette():
    colours = []
    for i in range(FADE):
        t = i / (FADE - 1)
        start, end = (28, 56, 120), (150, 186, 228)
        colours.append(tuple(round(a + (b - a) * t) for a, b in zip(start, end)))
    colours += [(236, 196, 72), (200, 206, 214), (60, 44, 16), (255, 255, 255), (18, 34, 78)]
    colours += [(0, 0, 0)] * (256 - len(colours))
    return colours


def inside_rounded(x, y, left, top, right, bottom, r):
    if not (left <= x <= right and top <= y <= bottom):
        return False
    cx = min(max(x, left + r), right - r)
    cy = min(max(y, top + r), bottom - r)
    return (x - cx) ** 2 + (y - cy) ** 2 <= r * r


def pixel(x, y):
    # Padlock: a shackle (a thick half ring) over a rounded body with a keyhole.
    if inside_rounded(x, y, 18, 26, 50, 52, 4):
        if (x - 34) ** 2 + (y - 35) ** 2 <= 9 or (32 <= x <= 36 and 35 <= y <= 45):
            return KEYHOLE
        return BODY
    d2 = (x - 34) ** 2 + (y - 26) ** 2
    if y <= 26 and 8 ** 2 <= d2 <= 12 ** 2:
        return SHACKLE
    # The hidden password: three dots in a field.
    if inside_rounded(x, y, 70, 22, 170, 40, 4):
        for cx in (92, 120, 148):
            if (x - cx) ** 2 + (y - 31) ** 2 <= 16:
                return DOT
        return EDGE
    # A thin line along the bottom sets the banner off from the dialog below.
    if y >= HEIGHT - 2:
        return EDGE
    return (x * (FADE - 1)) // (WIDTH - 1)


def chunk(kind, data):
    body = kind + data
    return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body) & 0xFFFFFFFF)


def main(out):
    rows = b"".join(b"\0" + bytes(pixel(x, y) for x in range(WIDTH)) for y in range(HEIGHT))
    png = b"\x89PNG\r\n\x1a\n"
    png += chunk(b"IHDR", struct.pack(">IIBBBBB", WIDTH, HEIGHT, 8, 3, 0, 0, 0))
    png += chunk(b"PLTE", b"".join(bytes(c) for c in palette()))
    png += chunk(b"IDAT", zlib.compress(rows, 9))
    png += chunk(b"IEND", b"")
    with open(out, "wb") as f:
        f.write(png)


if __name__ == "__main__":
    main(sys.argv[1] if len(sys.argv) > 1 else "LoginBanner.png")
