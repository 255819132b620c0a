#!/usr/bin/env python3
"""Draws Quble's application icon in the hicolor sizes: one tile of the game,
a rounded square in the game's teal carrying a white number 1.

Usage: python3 tools/make_icons.py OUT_DIR

Writes OUT_DIR/hicolor/<N>x<N>/apps/io.github.quble.Quble.png for N in
16, 24, 32, 48, 64, 128, 256, and the same sizes in one Windows icon file,
OUT_DIR/quble.ico (PNG-compressed entries, as Windows reads since Vista). Each size is drawn at eight times its size and
reduced, so small icons stay smooth; the PNG writer below stores no time or
other metadata, so the same inputs always give the same bytes.
"""
import os
import struct
import sys
import zlib

try:
    from PIL import Image, ImageDraw, ImageFont
except ImportError:
    sys.exit('make_icons.py needs Pillow: install python3-pil (scripts/install-deps.sh) and run it '
             'with that python3 (/usr/bin/python3)')

APP_ID = 'io.github.quble.Quble'
SIZES = (16, 24, 32, 48, 64, 128, 256)
FONT_FILE = '/usr/share/fonts/truetype/dejavu/DejaVuSans-Bold.ttf'
TEAL = (46, 158, 168, 255)       # the first third of the board's tiles
TEAL_EDGE = (28, 112, 121, 255)  # a darker rim, as the tiles have
WHITE = (255, 255, 255, 255)
SUPERSAMPLE = 8


def draw_tile(size):
    big = size * SUPERSAMPLE
    image = Image.new('RGBA', (big, big), (0, 0, 0, 0))
    draw = ImageDraw.Draw(image)
    margin = big * 0.06
    radius = big * 0.2
    box = (margin, margin, big - margin, big - margin)
    draw.rounded_rectangle(box, radius=radius, fill=TEAL_EDGE)
    rim = big * 0.045
    inner = (box[0] + rim, box[1] + rim, box[2] - rim, box[3] - rim)
    draw.rounded_rectangle(inner, radius=radius - rim, fill=TEAL)
    font = ImageFont.truetype(FONT_FILE, int(big * 0.62))
    left, top, right, bottom = draw.textbbox((0, 0), '1', font=font)
    x = (big - (right - left)) / 2 - left
    y = (big - (bottom - top)) / 2 - top
    draw.text((x, y), '1', font=font, fill=WHITE)
    return image.resize((size, size), Image.LANCZOS)


def png_bytes(image):
    width, height = image.size
    raw = image.tobytes()
    stride = width * 4
    rows = b''.join(b'\x00' + raw[y * stride:(y + 1) * stride] for y in range(height))

    def chunk(kind, data):
        return struct.pack('>I', len(data)) + kind + data + struct.pack('>I', zlib.crc32(kind + data) & 0xFFFFFFFF)

    header = struct.pack('>IIBBBBB', width, height, 8, 6, 0, 0, 0)
    return (b'\x89PNG\r\n\x1a\n' + chunk(b'IHDR', header) + chunk(b'IDAT', zlib.compress(rows, 9)) +
            chunk(b'IEND', b''))


def ico_bytes(images):
    pngs = [png_bytes(image) for image in images]
    header = struct.pack('<HHH', 0, 1, len(pngs))
    offset = len(header) + 16 * len(pngs)
    entries = b''
    for image, png in zip(images, pngs):
        side = image.size[0] % 256  # 0 stands for 256
        entries += struct.pack('<BBBBHHII', side, side, 0, 0, 1, 32, len(png), offset)
        offset += len(png)
    return header + entries + b''.join(pngs)


def main():
    if len(sys.argv) != 2:
        sys.exit('usage: make_icons.py OUT_DIR')
    out = sys.argv[1]
    for size in SIZES:
        folder = os.path.join(out, 'hicolor', '%dx%d' % (size, size), 'apps')
        os.makedirs(folder, exist_ok=True)
        with open(os.path.join(folder, APP_ID + '.png'), 'wb') as f:
            f.write(png_bytes(draw_tile(size)))
    with open(os.path.join(out, 'quble.ico'), 'wb') as f:
        f.write(ico_bytes([draw_tile(size) for size in SIZES]))


if __name__ == '__main__':
    main()
