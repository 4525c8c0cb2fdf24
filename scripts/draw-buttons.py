#!/usr/bin/env python3
"""Draws the sample gallery's previous, home and next buttons as GIF files.

Round slate buttons with a white glyph, anti-aliased against the sample pages'
background colour. Pure Python, so it runs anywhere the build runs.
Usage: draw-buttons.py OUTPUT_DIR
"""
import math
import struct
import sys

SIZE = 44
SUPERSAMPLE = 4
LEVELS = 64
PAGE = (0xF4, 0xF1, 0xEC)    # background of the sample pages
BUTTON = (0x33, 0x41, 0x55)  # slate
GLYPH = (0xFF, 0xFF, 0xFF)


def inside_polygon(x, y, points):
    inside = False
    j = len(points) - 1
    for i, (xi, yi) in enumerate(points):
        xj, yj = points[j]
        if (yi > y) != (yj > y) and x < (xj - xi) * (y - yi) / (yj - yi) + xi:
            inside = not inside
        j = i
    return inside


def glyph_polygons(kind):
    c = SIZE / 2
    if kind == "prev":
        return [[(c + 5, c - 10), (c + 5, c + 10), (c - 9, c)]]
    if kind == "next":
        return [[(c - 5, c - 10), (c - 5, c + 10), (c + 9, c)]]
    roof = [(c - 12, c + 1), (c, c - 11), (c + 12, c + 1)]
    body = [(c - 8, c), (c + 8, c), (c + 8, c + 11), (c + 2.5, c + 11), (c + 2.5, c + 4),
            (c - 2.5, c + 4), (c - 2.5, c + 11), (c - 8, c + 11)]
    return [roof, body]


def coverage(kind):
    """Per pixel: (share inside the button, share of the glyph)."""
    polygons = glyph_polygons(kind)
    radius = SIZE / 2 - 1
    c = SIZE / 2
    result = []
    for py in range(SIZE):
        row = []
        for px in range(SIZE):
            button = glyph = 0
            for sy in range(SUPERSAMPLE):
                for sx in range(SUPERSAMPLE):
                    x = px + (sx + 0.5) / SUPERSAMPLE
                    y = py + (sy + 0.5) / SUPERSAMPLE
                    if math.hypot(x - c, y - c) <= radius:
                        button += 1
                        if any(inside_polygon(x, y, p) for p in polygons):
                            glyph += 1
            n = SUPERSAMPLE * SUPERSAMPLE
            row.append((button / n, glyph / n))
        result.append(row)
    return result


def mix(a, b, t):
    return tuple(round(a[i] + (b[i] - a[i]) * t) for i in range(3))


def palette():
    # 0: transparent; 1..LEVELS: page -> button edge; LEVELS+1..2*LEVELS: button -> glyph.
    colours = [PAGE]
    colours += [mix(PAGE, BUTTON, (i + 1) / LEVELS) for i in range(LEVELS)]
    colours += [mix(BUTTON, GLYPH, (i + 1) / LEVELS) for i in range(LEVELS)]
    while len(colours) < 256:
        colours.append((0, 0, 0))
    return colours


def index_for(button, glyph):
    if button < 0.05:
        return 0
    if glyph > 0:
        return LEVELS + max(1, round(glyph / button * LEVELS))
    return max(1, round(button * LEVELS))


def lzw(indices, min_code_size=8):
    """GIF LZW compression of a list of colour indices."""
    clear, end = 1 << min_code_size, (1 << min_code_size) + 1
    table = {bytes([i]): i for i in range(clear)}
    next_code, code_size = end + 1, min_code_size + 1
    bits, nbits, out = 0, 0, bytearray()

    def emit(code):
        nonlocal bits, nbits
        bits |= code << nbits
        nbits += code_size
        while nbits >= 8:
            out.append(bits & 0xFF)
            bits >>= 8
            nbits -= 8

    emit(clear)
    current = b""
    for value in indices:
        candidate = current + bytes([value])
        if candidate in table:
            current = candidate
            continue
        emit(table[current])
        if next_code < 4096:
            table[candidate] = next_code
            next_code += 1
            if next_code > (1 << code_size) and code_size < 12:
                code_size += 1
        else:
            emit(clear)
            table = {bytes([i]): i for i in range(clear)}
            next_code, code_size = end + 1, min_code_size + 1
        current = bytes([value])
    if current:
        emit(table[current])
    emit(end)
    if nbits:
        out.append(bits & 0xFF)
    return bytes(out)


def gif(pixels):
    data = bytearray(b"GIF89a")
    data += struct.pack("<HHBBB", SIZE, SIZE, 0xF7, 0, 0)  # global table of 256 colours
    for colour in palette():
        data += bytes(colour)
    data += b"\x21\xF9\x04\x01\x00\x00\x00\x00"            # index 0 is transparent
    data += b"\x2C" + struct.pack("<HHHHB", 0, 0, SIZE, SIZE, 0)
    compressed = lzw([p for row in pixels for p in row])
    data.append(8)
    for i in range(0, len(compressed), 255):
        chunk = compressed[i:i + 255]
        data.append(len(chunk))
        data += chunk
    data += b"\x00\x3B"
    return bytes(data)


def main():
    if len(sys.argv) != 2:
        sys.exit("usage: draw-buttons.py OUTPUT_DIR")
    for kind in ("prev", "home", "next"):
        pixels = [[index_for(b, g) for b, g in row] for row in coverage(kind)]
        with open(f"{sys.argv[1]}/{kind}Button.gif", "wb") as f:
            f.write(gif(pixels))


if __name__ == "__main__":
    main()
