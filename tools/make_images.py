#!/usr/bin/env python3
"""Draws the program's bitmaps and icons (16 colours) into res/. Run again after changing a picture;
the generated files are kept in the repository so that a build needs no Python."""
import os
import struct
import sys

# The standard 16-colour palette.
PALETTE = [(0, 0, 0), (128, 0, 0), (0, 128, 0), (128, 128, 0), (0, 0, 128), (128, 0, 128), (0, 128, 128),
           (192, 192, 192), (128, 128, 128), (255, 0, 0), (0, 255, 0), (255, 255, 0), (0, 0, 255),
           (255, 0, 255), (0, 255, 255), (255, 255, 255)]
BLACK, SILVER, LIME, NAVY, WHITE, GREEN, GRAY = 0, 7, 10, 4, 15, 2, 8


def palette_bytes():
    return b"".join(struct.pack("<BBBB", b, g, r, 0) for r, g, b in PALETTE)


def rows_4bpp(pixels):
    """Bottom-up rows, two pixels a byte, each row padded to four bytes."""
    out = b""
    for row in reversed(pixels):
        data = bytearray()
        for x in range(0, len(row), 2):
            hi = row[x]
            lo = row[x + 1] if x + 1 < len(row) else 0
            data.append((hi << 4) | lo)
        while len(data) % 4:
            data.append(0)
        out += bytes(data)
    return out


def info_header(width, height, image_size):
    return struct.pack("<IiiHHIIiiII", 40, width, height, 1, 4, 0, image_size, 0, 0, 16, 0)


def write_bmp(path, pixels):
    height, width = len(pixels), len(pixels[0])
    bits = rows_4bpp(pixels)
    offset = 14 + 40 + 64
    with open(path, "wb") as f:
        f.write(struct.pack("<2sIHHI", b"BM", offset + len(bits), 0, 0, offset))
        f.write(info_header(width, height, len(bits)) + palette_bytes() + bits)


def write_ico(path, images):
    """images: list of square pixel grids; every pixel is opaque."""
    blobs = []
    for pixels in images:
        size = len(pixels)
        xor = rows_4bpp(pixels)
        mask_row = ((size + 31) // 32) * 4
        and_mask = bytes(mask_row * size)
        blobs.append(info_header(size, size * 2, len(xor) + len(and_mask)) + palette_bytes() + xor + and_mask)
    offset = 6 + 16 * len(images)
    with open(path, "wb") as f:
        f.write(struct.pack("<HHH", 0, 1, len(images)))
        for pixels, blob in zip(images, blobs):
            size = len(pixels)
            f.write(struct.pack("<BBBBHHII", size, size, 16, 0, 1, 4, len(blob), offset))
            offset += len(blob)
        for blob in blobs:
            f.write(blob)


def lamp(fill):
    """A lit lamp is filled with lime, an unlit one with grey: lighter and darker, not only green and
    grey, so that the two read apart without telling colours apart (src/view/lamp_pictures.h)."""
    return [[BLACK if x in (0, 16) or y in (0, 16) else fill for x in range(17)] for y in range(17)]


GLYPHS = {
    "Q": ["01110", "10001", "10001", "10001", "10101", "10010", "01101"],
    "S": ["01111", "10000", "10000", "01110", "00001", "00001", "11110"],
    "O": ["01110", "10001", "10001", "10001", "10001", "10001", "01110"],
}


def badge():
    """33 x 21, green on black: QSO over a wave-borne arrow."""
    width, height = 33, 21
    pixels = [[BLACK] * width for _ in range(height)]
    for i, letter in enumerate("QSO"):
        for y, line in enumerate(GLYPHS[letter]):
            for x, bit in enumerate(line):
                if bit == "1":
                    pixels[2 + y][6 + i * 8 + x] = LIME
    for x in range(3, 28):  # the arrow's shaft
        pixels[13][x] = LIME
    for d in range(4):  # its head
        pixels[13 - d][29 - d] = LIME
        pixels[13 + d][29 - d] = LIME
    for x in range(3, 30):  # the water
        if (x // 3) % 2 == 0:
            pixels[18][x] = GREEN
        else:
            pixels[17][x] = GREEN
    return pixels


def icon(size, background, arrow):
    """Two stations joined by an arrow: the bridge between decoder and logger."""
    s = size / 32.0
    pixels = [[background] * size for _ in range(size)]

    def box(x0, y0, x1, y1, colour):
        for y in range(int(y0 * s), int(y1 * s)):
            for x in range(int(x0 * s), int(x1 * s)):
                pixels[y][x] = colour

    box(0, 0, 32, 1, BLACK), box(0, 31, 32, 32, BLACK), box(0, 0, 1, 32, BLACK), box(31, 0, 32, 32, BLACK)
    box(3, 10, 10, 22, WHITE)
    box(22, 10, 29, 22, WHITE)
    box(10, 15, 20, 17, arrow)
    for d in range(int(5 * s)):
        for y in range(int(16 * s) - d, int(16 * s) + d + 1):
            pixels[y][int(21 * s) - d] = arrow
    return pixels


def main():
    out = sys.argv[1] if len(sys.argv) > 1 else os.path.join(os.path.dirname(__file__), "..", "res")
    write_bmp(os.path.join(out, "lamp_off.bmp"), lamp(GRAY))
    write_bmp(os.path.join(out, "lamp_on.bmp"), lamp(LIME))
    write_bmp(os.path.join(out, "badge.bmp"), badge())
    write_ico(os.path.join(out, "qsoferry.ico"), [icon(32, NAVY, LIME), icon(16, NAVY, LIME)])
    write_ico(os.path.join(out, "second.ico"), [icon(32, GRAY, WHITE), icon(16, GRAY, WHITE)])


if __name__ == "__main__":
    main()
