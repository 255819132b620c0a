#!/usr/bin/env python3
"""Writes the GUI gallery's art: the textures of panels, buttons, check boxes,
scroll bars and animation frames, drawn from code, and two bitmap fonts
(256 character cells of 32x32 pixels in a 512x512 texture, code c in column
c % 16, row c // 16) rendered from the DejaVu fonts of Debian's
fonts-dejavu-core, with their font descriptions. Needs Pillow (python3-pil).

Usage: make_gui_gallery_art.py OUT_DIR   (the gallery's DATA/art folder)"""
import math
import os
import sys

from PIL import Image, ImageDraw, ImageFont

DEJAVU = '/usr/share/fonts/truetype/dejavu/'
CELL = 32


def save(image, out_dir, name):
    image.save(os.path.join(out_dir, name), optimize=True)


def rounded_panel(size, border, fill, edge, radius, glow=None, shade=0.0):
    """A rounded rectangle with an edge line, filling the whole texture, so
    that a nine-patch with the given border keeps its corners."""
    scale = 4  # drawn large, then reduced: smooth edges
    big = Image.new('RGBA', (size * scale, size * scale), (0, 0, 0, 0))
    draw = ImageDraw.Draw(big)
    box = [scale, scale, size * scale - scale - 1, size * scale - scale - 1]
    draw.rounded_rectangle(box, radius * scale, fill=edge)
    inner = [box[0] + 2 * scale, box[1] + 2 * scale, box[2] - 2 * scale, box[3] - 2 * scale]
    draw.rounded_rectangle(inner, (radius - 2) * scale, fill=fill)
    if glow:
        top = [inner[0] + scale, inner[1] + scale, inner[2] - scale, inner[1] + border * scale]
        draw.rounded_rectangle(top, (radius - 3) * scale, fill=glow)
    image = big.resize((size, size), Image.LANCZOS)
    if shade:
        # Darker towards the bottom.
        pixels = image.load()
        for y in range(size):
            factor = 1.0 - shade * y / size
            for x in range(size):
                r, g, b, a = pixels[x, y]
                pixels[x, y] = (int(r * factor), int(g * factor), int(b * factor), a)
    return image


def check_box(checked, hover):
    image = rounded_panel(32, 8, (30, 40, 70, 255) if not hover else (45, 60, 105, 255),
                          (150, 180, 240, 255) if hover else (110, 130, 190, 255), 7)
    if checked:
        big = image.resize((128, 128), Image.LANCZOS)
        draw = ImageDraw.Draw(big)
        draw.line([(30, 66), (54, 92), (100, 36)], fill=(255, 210, 90, 255), width=14, joint='curve')
        image = big.resize((32, 32), Image.LANCZOS)
    return image


def star_frame(index, count):
    """One frame of a turning, pulsing eight-pointed star."""
    size, scale = 64, 4
    big = Image.new('RGBA', (size * scale, size * scale), (0, 0, 0, 0))
    draw = ImageDraw.Draw(big)
    centre = size * scale / 2
    turn = 2 * math.pi * index / count / 8
    points = []
    for i in range(16):
        radius = (size * scale * 0.46) if i % 2 == 0 else (size * scale * 0.2)
        angle = turn + i * math.pi / 8
        points.append((centre + radius * math.cos(angle), centre + radius * math.sin(angle)))
    warmth = 0.5 + 0.5 * math.sin(2 * math.pi * index / count)
    draw.polygon(points, fill=(255, int(160 + 80 * warmth), int(60 + 120 * (1 - warmth)), 255))
    draw.ellipse([centre - 22 * scale / 2, centre - 22 * scale / 2, centre + 22 * scale / 2, centre + 22 * scale / 2],
                 fill=(255, 255, 230, 255))
    return big.resize((size, size), Image.LANCZOS)


def sparkle():
    size = 64
    image = Image.new('RGBA', (size, size), (0, 0, 0, 0))
    pixels = image.load()
    for y in range(size):
        for x in range(size):
            dx, dy = (x - 31.5) / 31.5, (y - 31.5) / 31.5
            ray = max(0.0, 1.0 - abs(dx) * 8) * max(0.0, 1 - abs(dy)) + max(0.0, 1.0 - abs(dy) * 8) * max(0.0, 1 - abs(dx))
            glow = max(0.0, 1.0 - math.hypot(dx, dy)) ** 2
            a = min(1.0, ray + glow)
            pixels[x, y] = (255, 255, 255, int(255 * a))
    return image


def write_font(out_dir, ttf, size, font_id, texture_id, texture_file, description_file, baseline):
    font = ImageFont.truetype(os.path.join(DEJAVU, ttf), size)
    coverage = Image.new('L', (CELL * 16, CELL * 16), 0)
    draw = ImageDraw.Draw(coverage)
    advances = []
    for code in range(256):
        ch = bytes([code]).decode('latin-1')
        advance = font.getlength(ch) if code >= 32 else 0.0
        advances.append(advance)
        if code <= 32 or 127 <= code < 160:
            continue
        left, top = (code % 16) * CELL, (code // 16) * CELL
        draw.text((left + 1, top + baseline), ch, font=font, fill=255, anchor='ls')
    texture = Image.new('RGBA', coverage.size, (255, 255, 255, 0))
    texture.putalpha(coverage)
    save(texture, out_dir, texture_file)
    widths = ' '.join('cs%d="%.2f"' % (code, advances[code] if code != 9 else 4 * advances[32])
                      for code in range(256))
    colours = ('color0r="1" color0g="1" color0b="1" color1r="1" color1g="0.78" color1b="0.3" '
               'color2r="0.55" color2g="0.8" color2b="1" color3r="0.1" color3g="0.12" color3b="0.2" '
               'color4r="0.5" color4g="0.95" color4b="0.55"')
    with open(os.path.join(out_dir, description_file), 'w') as f:
        f.write('<fontdesc id="%s" textureid="%s" techniqueid="TEQ_GAL_TEXT" techpackid="TEQ_GAL_PACK" '
                'cellsize="%d" tag="1" %s %s/>\n' % (font_id, texture_id, CELL, colours, widths))


def main(out_dir):
    os.makedirs(out_dir, exist_ok=True)
    save(rounded_panel(64, 16, (22, 28, 52, 235), (90, 110, 170, 255), 14, glow=(40, 52, 92, 235)), out_dir,
         'panel.png')
    save(rounded_panel(64, 16, (14, 18, 34, 250), (230, 180, 80, 255), 14, glow=(34, 40, 70, 250)), out_dir,
         'window.png')
    looks = {
        'button_normal.png': ((70, 100, 170, 255), (140, 170, 235, 255), (100, 135, 210, 255)),
        'button_selected.png': ((95, 135, 215, 255), (200, 220, 255, 255), (130, 170, 240, 255)),
        'button_pressed.png': ((40, 60, 120, 255), (240, 200, 100, 255), (55, 80, 150, 255)),
        'button_disabled.png': ((60, 62, 70, 255), (100, 102, 110, 255), (72, 74, 84, 255)),
    }
    for name, (fill, edge, glow) in looks.items():
        save(rounded_panel(64, 12, fill, edge, 12, glow=glow, shade=0.35), out_dir, name)
    for checked in (False, True):
        for hover in (False, True):
            name = 'check_%s%s.png' % ('on' if checked else 'off', '_hover' if hover else '')
            save(check_box(checked, hover), out_dir, name)
    # A light card, tinted by the element's colour.
    save(rounded_panel(64, 16, (215, 220, 230, 255), (255, 255, 255, 255), 14, glow=(240, 242, 248, 255), shade=0.3),
         out_dir, 'card.png')
    save(rounded_panel(32, 8, (12, 16, 30, 255), (60, 75, 120, 255), 7), out_dir, 'track.png')
    save(rounded_panel(32, 8, (120, 150, 220, 255), (200, 220, 255, 255), 7), out_dir, 'slider.png')
    save(rounded_panel(32, 8, (160, 190, 250, 255), (240, 245, 255, 255), 7), out_dir, 'slider_hover.png')
    save(rounded_panel(32, 8, (230, 180, 80, 255), (255, 230, 160, 255), 7), out_dir, 'slider_pressed.png')
    save(Image.new('RGBA', (8, 8), (255, 255, 255, 255)), out_dir, 'white.png')
    for index in range(8):
        save(star_frame(index, 8), out_dir, 'star%d.png' % index)
    save(sparkle(), out_dir, 'sparkle.png')
    write_font(out_dir, 'DejaVuSans.ttf', 15, 'FNT_GAL', 'TEX_GAL_FONT', 'font.png', 'font.xml', 20)
    write_font(out_dir, 'DejaVuSans-Bold.ttf', 22, 'FNT_GAL_TITLE', 'TEX_GAL_TITLEFONT', 'titlefont.png',
               'titlefont.xml', 24)


if __name__ == '__main__':
    main(sys.argv[1] if len(sys.argv) > 1 else '.')
