#!/usr/bin/env python3
"""Draws ORMIX's sixteen 16x16 pictures as pixel art and writes them as PNG files.

The pictures live in src/gui/icons/ as NN.png (00..15, the order of the image
list). Run this script after changing a drawing and commit the PNG files with it:

    tools/draw-icons.py                 # rewrites src/gui/icons/*.png
    tools/draw-icons.py --sheet out.png # also writes an 8x enlarged contact sheet

The application icon (picture 8, the computer with a star) is also written at
the icon theme's usual sizes into packaging/icons/hicolor/NxN/apps/ormix.png,
enlarged pixel by pixel and centred where the size is no multiple of 16.

Only the standard library is used (zlib for the PNG stream).
"""
import os
import struct
import sys
import zlib

PALETTE = {
    ".": (0, 0, 0, 0),
    "k": (32, 32, 40, 255),  # outline
    "g": (128, 128, 128, 255),
    "l": (200, 200, 200, 255),
    "w": (255, 255, 255, 255),
    "b": (40, 96, 200, 255),
    "c": (140, 196, 240, 255),
    "y": (248, 204, 72, 255),
    "o": (200, 140, 24, 255),
    "r": (224, 40, 32, 255),
    "R": (140, 16, 16, 255),
    "G": (40, 160, 64, 255),
    "d": (24, 104, 40, 255),
}

# Index: (name, rows). Every drawing is 16 rows of 16 pixels.
DRAWINGS = [
    ("computer", [
        "................",
        ".kkkkkkkkkkkkkk.",
        ".kllllllllllllk.",
        ".klbbbbbbbbbblk.",
        ".klbccbbbbbbblk.",
        ".klbcbbbbbbbblk.",
        ".klbbbbbbbbbblk.",
        ".klbbbbbbbbbblk.",
        ".klbbbbbbbbbblk.",
        ".kllllllllllGlk.",
        ".kkkkkkkkkkkkkk.",
        "......kggk......",
        "......kggk......",
        "...kkkkkkkkkk...",
        "...kllllllllk...",
        "...kkkkkkkkkk...",
    ]),
    ("shared folder", [
        "................",
        ".kkkkk..........",
        ".kyyyyk.........",
        ".kyyyyykkkkkkkk.",
        ".kwwwwwwwwwwwwk.",
        ".kyyyyyyyyyyyyk.",
        ".kyyyyyyyyyyyyk.",
        ".kyyyyyyyyyyyyk.",
        ".kyyyyyyyyyyyyk.",
        ".kooooooooooook.",
        ".kkkkkkkkkkkkkk.",
        ".......kk.......",
        ".......kk.......",
        ".kkkkkkkkkkkkkk.",
        ".kggggggggggggk.",
        ".kkkkkkkkkkkkkk.",
    ]),
    ("network", [
        "................",
        ".....kkkkkk.....",
        "...kkbbGGbbkk...",
        "..kbbGGGbbbbbk..",
        "..kbGGGGGbbcbk..",
        ".kbbGGGGbbbccbk.",
        ".kbbbGGbbbbbcbk.",
        ".kbbbbGbbbbbbbk.",
        ".kbbbbbbGGGbbbk.",
        ".kbbbbbbGGGGbbk.",
        "..kbbbbbGGGGbk..",
        "..kbbbbbbGGbbk..",
        "...kkbbbbbbkk...",
        ".....kkkkkk.....",
        "................",
        "................",
    ]),
    ("ticked box", [
        "................",
        "................",
        "..kkkkkkkkkkk...",
        "..kwwwwwwwwwk.dd",
        "..kwwwwwwwwwkddd",
        "..kwwwwwwwwwddd.",
        "..kwwdwwwwwddd..",
        "..kwwddwwwddd...",
        "..kwwdddwddd....",
        "..kwwwdddddk....",
        "..kwwwwdddwk....",
        "..kwwwwwdwwk....",
        "..kwwwwwwwwk....",
        "..kkkkkkkkkk....",
        "................",
        "................",
    ]),
    ("document", [
        "................",
        "..kkkkkkkkk.....",
        "..kwwwwwwwkk....",
        "..kwwwwwwwklk...",
        "..kwggggwwkllk..",
        "..kwwwwwwwkkkkk.",
        "..kwggggggggwwk.",
        "..kwwwwwwwwwwwk.",
        "..kwggggggggwwk.",
        "..kwwwwwwwwwwwk.",
        "..kwggggggggwwk.",
        "..kwwwwwwwwwwwk.",
        "..kwgggggwwwwwk.",
        "..kwwwwwwwwwwwk.",
        "..kkkkkkkkkkkkk.",
        "................",
    ]),
    ("open folder", [
        "................",
        "................",
        ".kkkkk..........",
        ".koooook........",
        ".kooooookkkkkk..",
        ".koooooooooook..",
        ".koookkkkkkkkkkk",
        ".kookyyyyyyyyyyk",
        ".kookyyyyyyyyyk.",
        ".kokyyyyyyyyyyk.",
        ".kokyyyyyyyyyk..",
        ".kkyyyyyyyyyyk..",
        ".kkyyyyyyyyyk...",
        ".kkkkkkkkkkkk...",
        "................",
        "................",
    ]),
    ("minus box", [
        "................",
        "................",
        "..kkkkkkkkkkk...",
        "..kwwwwwwwwwk...",
        "..kwwwwwwwwwk...",
        "..kwwwwwwwwwk...",
        "..kwwwwwwwwwk...",
        "..kwwkkkkkwwk...",
        "..kwwwwwwwwwk...",
        "..kwwwwwwwwwk...",
        "..kwwwwwwwwwk...",
        "..kwwwwwwwwwk...",
        "..kkkkkkkkkkk...",
        "................",
        "................",
        "................",
    ]),
    ("plus box", [
        "................",
        "................",
        "..kkkkkkkkkkk...",
        "..kwwwwwwwwwk...",
        "..kwwwwwwwwwk...",
        "..kwwwwkwwwwk...",
        "..kwwwwkwwwwk...",
        "..kwwkkkkkwwk...",
        "..kwwwwkwwwwk...",
        "..kwwwwkwwwwk...",
        "..kwwwwwwwwwk...",
        "..kwwwwwwwwwk...",
        "..kkkkkkkkkkk...",
        "................",
        "................",
        "................",
    ]),
    ("computer with a star", [
        "............o...",
        "...........oyo..",
        ".........ooyyyoo",
        "..........oyyyo.",
        "kkkkkkkkkkoyoyo.",
        "kllllllllloo.oo.",
        "klbbbbbbbblk....",
        "klbccbbbbblk....",
        "klbcbbbbbblk....",
        "klbbbbbbbblk....",
        "kllllllllGlk....",
        "kkkkkkkkkkkk....",
        ".....kggk.......",
        "..kkkkkkkkkk....",
        "..kllllllllk....",
        "..kkkkkkkkkk....",
    ]),
    ("network drive", [
        "................",
        "................",
        "................",
        ".kkkkkkkkkkkkkk.",
        ".kwwwwwwwwwwwwk.",
        ".kllllllllllllk.",
        ".klgggggggllGlk.",
        ".kllllllllllllk.",
        ".kggggggggggggk.",
        ".kkkkkkkkkkkkkk.",
        ".......kk.......",
        ".......kk.......",
        ".kkkkkkkkkkkkkk.",
        ".kbbbbbbbbbbbbk.",
        ".kkkkkkkkkkkkkk.",
        "................",
    ]),
    ("floppy disk", [
        "................",
        ".kkkkkkkkkkkkk..",
        ".kbbklllllkbbbk.",
        ".kbbklkkllkbbbk.",
        ".kbbklkkllkbbbk.",
        ".kbbklllllkbbbk.",
        ".kbbbkkkkkbbbbk.",
        ".kbbbbbbbbbbbbk.",
        ".kbbwwwwwwwwbbk.",
        ".kbbwwwwwwwwbbk.",
        ".kbbwggggggwbbk.",
        ".kbbwwwwwwwwbbk.",
        ".kbbwggggggwbbk.",
        ".kbbwwwwwwwwbbk.",
        ".kkkkkkkkkkkkkk.",
        "................",
    ]),
    ("picture", [
        "................",
        "................",
        ".kkkkkkkkkkkkkk.",
        ".kccccccccccyyk.",
        ".kcccccccccyyyk.",
        ".kccccccccccyyk.",
        ".kcccccccccccck.",
        ".kccccGccccccck.",
        ".kcccGGGcccccck.",
        ".kccGGGGGcccGGk.",
        ".kcGGGdGGGcGGGk.",
        ".kGGGdddGGGGGGk.",
        ".kGGdddddGGGGGk.",
        ".kkkkkkkkkkkkkk.",
        "................",
        "................",
    ]),
    ("list", [
        "................",
        ".kkkkkkkkkkkkkk.",
        ".kwwwwwwwwwwwwk.",
        ".kwbbwkkkkkkwwk.",
        ".kwbbwwwwwwwwwk.",
        ".kwwwwwwwwwwwwk.",
        ".kwbbwkkkkkkkwk.",
        ".kwbbwwwwwwwwwk.",
        ".kwwwwwwwwwwwwk.",
        ".kwbbwkkkkkwwwk.",
        ".kwbbwwwwwwwwwk.",
        ".kwwwwwwwwwwwwk.",
        ".kwbbwkkkkkkwwk.",
        ".kwbbwwwwwwwwwk.",
        ".kkkkkkkkkkkkkk.",
        "................",
    ]),
    ("close", [
        "................",
        ".RRR........RRR.",
        ".RrrR......RrrR.",
        ".RrrrR....RrrrR.",
        "..RrrrR..RrrrR..",
        "...RrrrRRrrrR...",
        "....RrrrrrrR....",
        ".....RrrrrR.....",
        ".....RrrrrR.....",
        "....RrrrrrrR....",
        "...RrrrRRrrrR...",
        "..RrrrR..RrrrR..",
        ".RrrrR....RrrrR.",
        ".RrrR......RrrR.",
        ".RRR........RRR.",
        "................",
    ]),
    ("magnifier", [
        "................",
        "....kkkkk.......",
        "..kkccccckk.....",
        "..kcwwcccck.....",
        ".kcwwcccccck....",
        ".kcwccccccck....",
        ".kccccccccck....",
        ".kccccccccck....",
        "..kccccccck.....",
        "..kkccccckk.....",
        "....kkkkkkkk....",
        "..........kook..",
        "...........kook.",
        "............kook",
        ".............kk.",
        "................",
    ]),
    ("calendar", [
        "................",
        "...k..k..k..k...",
        ".kkkkkkkkkkkkkk.",
        ".krrrrrrrrrrrrk.",
        ".krrrrrrrrrrrrk.",
        ".kkkkkkkkkkkkkk.",
        ".kwwwwwwwwwwwwk.",
        ".kwgwgwgwgwgwwk.",
        ".kwwwwwwwwwwwwk.",
        ".kwgwgwgwgwgwwk.",
        ".kwwwwwwwwwwwwk.",
        ".kwgwgwgwrwgwwk.",
        ".kwwwwwwwwwwwwk.",
        ".kwgwgwgwwwwwwk.",
        ".kwwwwwwwwwwwwk.",
        ".kkkkkkkkkkkkkk.",
    ]),
]


def check(index, name, rows):
    if len(rows) != 16:
        sys.exit(f"picture {index} ({name}): {len(rows)} rows instead of 16")
    for y, row in enumerate(rows):
        if len(row) != 16:
            sys.exit(f"picture {index} ({name}) row {y}: {len(row)} pixels instead of 16")
        for ch in row:
            if ch not in PALETTE:
                sys.exit(f"picture {index} ({name}) row {y}: unknown colour '{ch}'")


def png(width, height, pixels):
    """pixels: list of rows, each a list of RGBA tuples."""
    raw = bytearray()
    for row in pixels:
        raw.append(0)  # filter: none
        for rgba in row:
            raw.extend(rgba)

    def chunk(kind, data):
        body = kind + data
        return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body) & 0xFFFFFFFF)

    header = struct.pack(">IIBBBBB", width, height, 8, 6, 0, 0, 0)  # 8-bit RGBA
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) + chunk(b"IDAT", zlib.compress(bytes(raw), 9))
            + chunk(b"IEND", b""))


def pixels_of(rows):
    return [[PALETTE[ch] for ch in row] for row in rows]


def contact_sheet(scale=8, gap=4):
    cell = 16 * scale + gap
    width = cell * 8 + gap
    height = cell * 2 + gap
    back = (236, 236, 236, 255)
    sheet = [[back] * width for _ in range(height)]
    for index, (_, rows) in enumerate(DRAWINGS):
        ox = gap + (index % 8) * cell
        oy = gap + (index // 8) * cell
        for y, row in enumerate(rows):
            for x, ch in enumerate(row):
                rgba = PALETTE[ch]
                if rgba[3] == 0:
                    continue
                for dy in range(scale):
                    line = sheet[oy + y * scale + dy]
                    for dx in range(scale):
                        line[ox + x * scale + dx] = rgba
    return png(width, height, sheet)


APP_ICON = 8
APP_ICON_SIZES = (16, 22, 24, 32, 48, 64, 128, 256)


def app_icon(size):
    rows = DRAWINGS[APP_ICON][1]
    scale = size // 16
    pad = (size - 16 * scale) // 2
    pixels = [[(0, 0, 0, 0)] * size for _ in range(size)]
    for y, row in enumerate(rows):
        for x, ch in enumerate(row):
            for dy in range(scale):
                for dx in range(scale):
                    pixels[pad + y * scale + dy][pad + x * scale + dx] = PALETTE[ch]
    return png(size, size, pixels)


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    out_dir = os.path.join(here, "..", "src", "gui", "icons")
    os.makedirs(out_dir, exist_ok=True)
    if len(DRAWINGS) != 16:
        sys.exit(f"{len(DRAWINGS)} pictures instead of 16")
    for index, (name, rows) in enumerate(DRAWINGS):
        check(index, name, rows)
        with open(os.path.join(out_dir, f"{index:02d}.png"), "wb") as f:
            f.write(png(16, 16, pixels_of(rows)))
    theme_dir = os.path.join(here, "..", "packaging", "icons", "hicolor")
    for size in APP_ICON_SIZES:
        apps = os.path.join(theme_dir, f"{size}x{size}", "apps")
        os.makedirs(apps, exist_ok=True)
        with open(os.path.join(apps, "ormix.png"), "wb") as f:
            f.write(app_icon(size))
    if len(sys.argv) == 3 and sys.argv[1] == "--sheet":
        with open(sys.argv[2], "wb") as f:
            f.write(contact_sheet())


if __name__ == "__main__":
    main()
