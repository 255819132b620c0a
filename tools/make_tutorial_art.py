#!/usr/bin/python3
"""Draws the art of the handbook's tutorial game (examples/memory/): card
backs, the eight card faces in one texture, the button, two short sounds and
the text font, into the DATA/art/ folder of each step that uses them.

Usage: make_tutorial_art.py [EXAMPLES_DIR]   (default: examples/ beside tools/)

Everything is drawn from code with Pillow and the packaged DejaVu Sans Bold
font, so running it again writes the same bytes; the handbook test checks
that the committed files are what it writes.
"""
import math
import os
import struct
import sys
import wave

try:
    from PIL import Image, ImageDraw
except ImportError:
    sys.exit('make_tutorial_art.py needs Pillow: install python3-pil and run it with /usr/bin/python3')

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import velmorfont  # noqa: E402  (beside this file)

FONT_FILE = '/usr/share/fonts/truetype/dejavu/DejaVuSans-Bold.ttf'
CARD = 128
SUPERSAMPLE = 4
FACE_COLOURS = [(231, 76, 60), (241, 196, 15), (46, 204, 113), (52, 152, 219),
                (155, 89, 182), (230, 126, 34), (26, 188, 156), (236, 240, 241)]


def rounded_card(fill, outline):
    big = CARD * SUPERSAMPLE
    image = Image.new('RGBA', (big, big), (0, 0, 0, 0))
    draw = ImageDraw.Draw(image)
    inset, radius = 3 * SUPERSAMPLE, 16 * SUPERSAMPLE
    draw.rounded_rectangle((inset, inset, big - inset, big - inset), radius, fill=fill, outline=outline,
                           width=4 * SUPERSAMPLE)
    return image, draw


def finish(image):
    return image.resize((CARD, CARD), Image.LANCZOS)


def card_back():
    image, draw = rounded_card((36, 59, 120, 255), (220, 225, 240, 255))
    step = 16 * SUPERSAMPLE
    big = CARD * SUPERSAMPLE
    for k in range(-big, big, step):
        draw.line((k, 0, k + big, big), fill=(60, 90, 170, 255), width=3 * SUPERSAMPLE)
    # Keep the stripes inside the card: cut them with the card's own shape.
    mask, _ = rounded_card((255, 255, 255, 255), (255, 255, 255, 255))
    inner = Image.new('RGBA', image.size, (0, 0, 0, 0))
    inner.paste(image, (0, 0), mask)
    outline, draw = rounded_card(None, (220, 225, 240, 255))
    return finish(Image.alpha_composite(inner, outline))


def star(cx, cy, outer, inner, points=5):
    corners = []
    for k in range(points * 2):
        r = outer if k % 2 == 0 else inner
        a = -math.pi / 2 + k * math.pi / points
        corners.append((cx + r * math.cos(a), cy + r * math.sin(a)))
    return corners


def face(index):
    image, draw = rounded_card((250, 248, 240, 255), (90, 90, 110, 255))
    colour = FACE_COLOURS[index] + (255,)
    s = SUPERSAMPLE
    c, r = CARD * s / 2, 36 * s
    if index == 0:
        draw.ellipse((c - r, c - r, c + r, c + r), fill=colour)
    elif index == 1:
        draw.rectangle((c - r, c - r, c + r, c + r), fill=colour)
    elif index == 2:
        draw.polygon([(c, c - r), (c + r, c + r * 0.8), (c - r, c + r * 0.8)], fill=colour)
    elif index == 3:
        draw.polygon([(c, c - r * 1.2), (c + r, c), (c, c + r * 1.2), (c - r, c)], fill=colour)
    elif index == 4:
        draw.polygon(star(c, c, r * 1.2, r * 0.5), fill=colour)
    elif index == 5:
        draw.ellipse((c - r, c - r, c + r, c + r), outline=colour, width=14 * s)
    elif index == 6:
        w = 14 * s
        draw.rectangle((c - w, c - r, c + w, c + r), fill=colour)
        draw.rectangle((c - r, c - w, c + r, c + w), fill=colour)
    else:
        draw.polygon(star(c, c, r * 1.2, r * 0.8, 8), fill=(70, 70, 90, 255))
    return finish(image)


def faces_atlas():
    """Eight faces, four columns by two rows: face f at column f % 4, row f // 4."""
    atlas = Image.new('RGBA', (CARD * 4, CARD * 2), (0, 0, 0, 0))
    for index in range(8):
        atlas.paste(face(index), ((index % 4) * CARD, (index // 4) * CARD))
    return atlas


def button(top, bottom):
    """A 64x64 rounded button for a nine-patch with 16-pixel borders."""
    size, s = 64, SUPERSAMPLE
    big = size * s
    image = Image.new('RGBA', (big, big), (0, 0, 0, 0))
    gradient = Image.new('RGBA', (big, big))
    for y in range(big):
        t = y / (big - 1)
        gradient.paste(tuple(int(a + (b - a) * t) for a, b in zip(top, bottom)) + (255,), (0, y, big, y + 1))
    mask = Image.new('L', (big, big), 0)
    ImageDraw.Draw(mask).rounded_rectangle((2 * s, 2 * s, big - 2 * s, big - 2 * s), 12 * s, fill=255)
    image.paste(gradient, (0, 0), mask)
    ImageDraw.Draw(image).rounded_rectangle((2 * s, 2 * s, big - 2 * s, big - 2 * s), 12 * s,
                                            outline=(240, 240, 250, 255), width=2 * s)
    return image.resize((size, size), Image.LANCZOS)


def save_png(image, path):
    os.makedirs(os.path.dirname(path), exist_ok=True)
    image.save(path, optimize=True)


def save_wav(path, notes, rate=22050):
    """Short sine notes (frequency in Hz, seconds) with a quick decay, 16-bit mono."""
    frames = bytearray()
    for frequency, seconds in notes:
        count = int(rate * seconds)
        for n in range(count):
            t = n / rate
            envelope = min(1.0, n / 60.0) * math.exp(-6.0 * t / seconds)
            frames += struct.pack('<h', int(12000 * envelope * math.sin(2 * math.pi * frequency * t)))
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with wave.open(path, 'wb') as out:
        out.setnchannels(1)
        out.setsampwidth(2)
        out.setframerate(rate)
        out.writeframes(bytes(frames))


# What each step's DATA/art/ holds.
STEPS = {
    'step1': ['back'],
    'step2': ['back', 'faces', 'sounds'],
    'step3': ['back', 'faces', 'sounds', 'button', 'font'],
}


def write_step(art, parts):
    if 'back' in parts:
        save_png(card_back(), os.path.join(art, 'back.png'))
    if 'faces' in parts:
        save_png(faces_atlas(), os.path.join(art, 'faces.png'))
    if 'sounds' in parts:
        save_wav(os.path.join(art, 'flip.wav'), [(660, 0.08)])
        save_wav(os.path.join(art, 'match.wav'), [(523, 0.09), (659, 0.09), (784, 0.16)])
    if 'button' in parts:
        save_png(button((90, 120, 200), (40, 60, 130)), os.path.join(art, 'button.png'))
        save_png(button((120, 155, 235), (60, 85, 170)), os.path.join(art, 'button_hover.png'))
    if 'font' in parts:
        velmorfont.make_font(FONT_FILE, 'FNT_TEXT', 24, art, technique='TEQ_TEXT', techpack='TEQ_PACK')


def main(argv):
    examples = argv[0] if argv else os.path.join(os.path.dirname(os.path.dirname(os.path.abspath(__file__))),
                                                 'examples')
    for step, parts in STEPS.items():
        write_step(os.path.join(examples, 'memory', step, 'DATA', 'art'), parts)
    return 0


if __name__ == '__main__':
    sys.exit(main(sys.argv[1:]))
