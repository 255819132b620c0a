#!/usr/bin/env python3
"""Writes the runner demo's bitmap font: a 256x256 PNG of 16x16 cells (code c
in column c % 16, row c // 16) with a 3x5 pixel face drawn at 3x for digits,
capitals (lower case drawn as capitals) and a few signs, and its font
description. Usage: make_demo_font.py OUT_DIR"""
import os
import struct
import sys
import zlib

FACE = {
    '0': "111101101101111", '1': "010110010010111", '2': "111001111100111", '3': "111001111001111",
    '4': "101101111001001", '5': "111100111001111", '6': "111100111101111", '7': "111001010010010",
    '8': "111101111101111", '9': "111101111001111", 'A': "010101111101101", 'B': "110101110101110",
    'C': "011100100100011", 'D': "110101101101110", 'E': "111100110100111", 'F': "111100110100100",
    'G': "011100101101011", 'H': "101101111101101", 'I': "111010010010111", 'J': "001001001101010",
    'K': "101101110101101", 'L': "100100100100111", 'M': "101111111101101", 'N': "110101101101101",
    'O': "010101101101010", 'P': "110101110100100", 'Q': "010101101110011", 'R': "110101110101101",
    'S': "011100010001110", 'T': "111010010010010", 'U': "101101101101111", 'V': "101101101101010",
    'W': "101101111111101", 'X': "101101010101101", 'Y': "101101010010010", 'Z': "111001010100111",
    '.': "000000000000010", ',': "000000000010100", ':': "000010000010000", '!': "010010010000010",
    '-': "000000111000000", '/': "001001010100100", '?': "111001010000010", "'": "010010000000000",
}
CELL, SCALE = 16, 3


def glyph_for(code):
    ch = chr(code)
    return FACE.get(ch.upper()) if 32 < code < 127 else None


def png(width, height, rgba_rows):
    def chunk(kind, data):
        return struct.pack('>I', len(data)) + kind + data + struct.pack('>I', zlib.crc32(kind + data) & 0xFFFFFFFF)
    raw = b''.join(b'\x00' + bytes(row) for row in rgba_rows)
    return (b'\x89PNG\r\n\x1a\n' + chunk(b'IHDR', struct.pack('>IIBBBBB', width, height, 8, 6, 0, 0, 0)) +
            chunk(b'IDAT', zlib.compress(raw, 9)) + chunk(b'IEND', b''))


def main(out_dir):
    size = CELL * 16
    pixels = [[0] * (size * 4) for _ in range(size)]
    for code in range(256):
        bits = glyph_for(code)
        if not bits:
            continue
        left, top = (code % 16) * CELL + 2, (code // 16) * CELL
        for i, bit in enumerate(bits):
            if bit != '1':
                continue
            gx, gy = i % 3, i // 3
            for dy in range(SCALE):
                for dx in range(SCALE):
                    x, y = left + gx * SCALE + dx, top + gy * SCALE + dy
                    pixels[y][x * 4:x * 4 + 4] = [255, 255, 255, 255]
    with open(os.path.join(out_dir, 'font.png'), 'wb') as f:
        f.write(png(size, size, pixels))
    advances = ' '.join('cs%d="%d"' % (code, 12 if code != 32 else 10) for code in range(256))
    with open(os.path.join(out_dir, 'font.xml'), 'w') as f:
        f.write('<fontdesc id="FNT_DEMO" textureid="TEX_DEMO_FONT" techniqueid="TEQ_DEMO_TEXT" '
                'techpackid="TEQ_DEMO_PACK" cellsize="16" tag="1" color0r="1" color0g="1" color0b="1" '
                'color1r="1" color1g="0.8" color1b="0.3" ' + advances + '/>\n')


if __name__ == '__main__':
    main(sys.argv[1] if len(sys.argv) > 1 else '.')
