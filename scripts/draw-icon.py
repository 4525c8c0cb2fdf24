#!/usr/bin/env python3
"""Draws Tessary's application icon as an SVG and as PNGs for the hicolor theme.

The same mosaic as the wizard's own icon (wizard/resources/MakePictures.cpp):
three by three rounded tiles on a rounded slate square. One list of shapes
feeds both the SVG and the anti-aliased PNGs, so the sizes cannot drift apart.
Pure Python, so it runs anywhere the build runs.
Usage: draw-icon.py OUTPUT_DIR   (writes tessary.svg and tessary-SIZE.png)
"""
import os
import struct
import sys
import zlib

NAME = "tessary"
SIZES = (16, 24, 32, 48, 64, 128, 256)
SUPERSAMPLE = 4
BACKGROUND = "#1f4e6b"
TILES = ("#f2b134", "#ef6f4f", "#4fb3bf", "#f7e1a1", "#5c9ead",
         "#e8875b", "#9ccfd8", "#f2b134", "#ef6f4f")


def shapes():
    """Rounded rectangles (x, y, w, h, radius, colour) on a unit square."""
    result = [(0.0, 0.0, 1.0, 1.0, 1 / 6, BACKGROUND)]
    margin = 1 / 7
    area = 1 - 2 * margin
    gap = area / 12
    tile = (area - 2 * gap) / 3
    for row in range(3):
        for column in range(3):
            result.append((margin + column * (tile + gap), margin + row * (tile + gap),
                           tile, tile, tile / 5, TILES[row * 3 + column]))
    return result


def svg():
    view = 256
    lines = ['<?xml version="1.0" encoding="UTF-8"?>',
             f'<svg xmlns="http://www.w3.org/2000/svg" width="{view}" height="{view}" '
             f'viewBox="0 0 {view} {view}">']
    for x, y, w, h, r, colour in shapes():
        lines.append(f'  <rect x="{x * view:.3f}" y="{y * view:.3f}" width="{w * view:.3f}" '
                     f'height="{h * view:.3f}" rx="{r * view:.3f}" fill="{colour}"/>')
    lines.append("</svg>")
    return "\n".join(lines) + "\n"


def inside(px, py, x, y, w, h, r):
    # Distance to the rectangle shrunk by the radius, compared with the radius.
    dx = max(x + r - px, 0.0, px - (x + w - r))
    dy = max(y + r - py, 0.0, py - (y + h - r))
    return dx * dx + dy * dy <= r * r


def rgb(colour):
    return tuple(int(colour[i:i + 2], 16) for i in (1, 3, 5))


def raster(size):
    """Straight (non-premultiplied) RGBA rows, each shape painted over the last."""
    items = [(x * size, y * size, w * size, h * size, r * size, rgb(c))
             for x, y, w, h, r, c in shapes()]
    n = SUPERSAMPLE * SUPERSAMPLE
    rows = []
    for py in range(size):
        row = bytearray()
        for px in range(size):
            # Sum premultiplied colour over the subsamples, then unpremultiply.
            red = green = blue = alpha = 0.0
            for sy in range(SUPERSAMPLE):
                for sx in range(SUPERSAMPLE):
                    fx = px + (sx + 0.5) / SUPERSAMPLE
                    fy = py + (sy + 0.5) / SUPERSAMPLE
                    top = None
                    for x, y, w, h, r, colour in items:
                        if inside(fx, fy, x, y, w, h, r):
                            top = colour
                    if top:
                        red += top[0]
                        green += top[1]
                        blue += top[2]
                        alpha += 1
            if alpha:
                row += bytes((round(red / alpha), round(green / alpha), round(blue / alpha),
                              round(alpha / n * 255)))
            else:
                row += bytes(4)
        rows.append(bytes(row))
    return rows


def png(size):
    rows = raster(size)

    def chunk(kind, data):
        body = kind + data
        return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body))

    header = struct.pack(">IIBBBBB", size, size, 8, 6, 0, 0, 0)
    pixels = b"".join(b"\0" + row for row in rows)
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) +
            chunk(b"IDAT", zlib.compress(pixels, 9)) + chunk(b"IEND", b""))


def main():
    if len(sys.argv) != 2:
        sys.exit(__doc__)
    folder = sys.argv[1]
    os.makedirs(folder, exist_ok=True)
    with open(os.path.join(folder, NAME + ".svg"), "w", encoding="utf-8") as out:
        out.write(svg())
    for size in SIZES:
        with open(os.path.join(folder, f"{NAME}-{size}.png"), "wb") as out:
            out.write(png(size))


if __name__ == "__main__":
    main()
