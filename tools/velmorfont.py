#!/usr/bin/python3
"""velmorfont: turns a TrueType or OpenType font into a Velmor2D bitmap font.

    velmorfont.py FONT_FILE --id FNT_NAME --size PIXELS --out DIR [options]

It writes into DIR the font description NAME.xml, the texture NAME.png (codes
0 to 255, Latin-1, a 16 by 16 grid of cells) and one texture NAME_XXXX.png
per page of further code points (--pages), and prints the resource lines for
a descriptor, with file names relative to the DATA folder when DIR lies
inside one. Glyphs are white with alpha coverage, so the font's colours
(%0 to %9 in text) and the quad colour tint them. Cell 127 holds an empty box
that is drawn for every code point the font lacks.

Options:
  --pages RANGES      further code points: comma-separated names (latin-ext-a,
                      latin-ext-b, greek, cyrillic) or hex ranges (0100-017F)
  --cell PIXELS       cell edge (default: the smallest power of two that fits)
  --technique ID      technique for drawing text (default TEQ_FONT)
  --techpack ID       the technique pack that holds it (default TEQ_PACK)
  --tag N             tag of the resource lines printed (default 1)

Needs Debian's python3-pil; fonts-dejavu-core gives
/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf and its relatives.
"""
import argparse
import os
import sys
import unicodedata

try:
    from PIL import Image, ImageDraw, ImageFont
except ImportError:
    sys.exit('velmorfont needs Pillow: install python3-pil and run it with Debian\'s /usr/bin/python3')

NAMED_RANGES = {
    'latin-ext-a': (0x100, 0x17F),
    'latin-ext-b': (0x180, 0x24F),
    'greek': (0x370, 0x3FF),
    'cyrillic': (0x400, 0x52F),
}
FALLBACK_CODE = 127
LAST_CODE_POINT = 0x10FFFF
# The colours of %0 to %9: white first, as text is usually tinted by the quad.
COLOURS = [(1, 1, 1), (1, 0.8, 0.3), (1, 0.35, 0.3), (0.45, 0.9, 0.45), (0.45, 0.65, 1),
           (0.6, 0.6, 0.6), (0, 0, 0), (1, 0.55, 0.1), (0.8, 0.5, 1), (0.4, 0.9, 0.9)]
SKIPPED_CATEGORIES = ('Cn', 'Cc', 'Cf', 'Cs', 'Co', 'Mn', 'Me', 'Zl', 'Zp')


class FontError(Exception):
    pass


def parse_ranges(text):
    codes = set()
    for item in filter(None, (part.strip() for part in text.split(','))):
        if item.lower() in NAMED_RANGES:
            first, last = NAMED_RANGES[item.lower()]
        else:
            try:
                first_text, _, last_text = item.partition('-')
                first = int(first_text, 16)
                last = int(last_text or first_text, 16)
            except ValueError:
                raise FontError('not a range: %r (a name such as greek, or hex such as 0100-017F)' % item)
        if not 256 <= first <= last <= LAST_CODE_POINT:
            raise FontError('range %r must lie within 0100 to 10FFFF' % item)
        codes.update(range(first, last + 1))
    return codes


def plan_pages(codes):
    """Pages of 16 columns covering `codes`, each starting on a multiple of 16
    and tall a power of two (at most 256 rows), never overlapping."""
    pages, pending = [], sorted(codes)
    while pending:
        first = max(pending[0] - pending[0] % 16, 256)
        if pages and first < pages[-1][0] + 16 * pages[-1][1]:
            first = pages[-1][0] + 16 * pages[-1][1]
        rows = 1
        while rows < 256 and any(first + 16 * rows <= c < first + 16 * (rows + 1) for c in pending):
            rows += 1
        power = 1
        while power < rows:
            power *= 2
        rows = min(power, 256)
        end = first + 16 * rows
        pages.append((first, rows))
        pending = [c for c in pending if c >= end]
    return pages


class Face:
    def __init__(self, path, size):
        try:
            self.font = ImageFont.truetype(path, size)
        except OSError as error:
            raise FontError('cannot read the font %s: %s' % (path, error))
        ascent, descent = self.font.getmetrics()
        self.ascent, self.height = ascent, ascent + descent
        self.missing = self.render(chr(0x10FFFD))

    def render(self, ch):
        image = Image.new('L', (self.height * 3, self.height * 2), 0)
        ImageDraw.Draw(image).text((self.height, self.ascent), ch, font=self.font, fill=255, anchor='ls')
        return image

    def has(self, code):
        ch = chr(code)
        if unicodedata.category(ch) in SKIPPED_CATEGORIES:
            return False
        if unicodedata.category(ch) == 'Zs':
            return True
        return self.render(ch).tobytes() != self.missing.tobytes()

    def advance(self, code):
        return int(round(self.font.getlength(chr(code))))

    def glyph_box(self, code):
        """Left, top, right, bottom of the glyph relative to the pen on the baseline."""
        box = self.render(chr(code)).getbbox()
        if box is None:
            return None
        return box[0] - self.height, box[1] - self.ascent, box[2] - self.height, box[3] - self.ascent


def box_size(face):
    top = face.glyph_box(ord('H'))[1] if face.has(ord('H')) else -face.ascent
    return max(4, face.height // 3), -top


def draw_fallback(cell, pen_x, baseline, face):
    width, height = box_size(face)
    line = max(1, face.height // 16)
    image = Image.new('L', (cell, cell), 0)
    ImageDraw.Draw(image).rectangle((pen_x + 1, baseline - height, pen_x + width, baseline - 1), outline=255,
                                    width=line)
    return image, width + 2 + line


def choose_cell(face, codes):
    """The pen's x and the baseline in a cell, and the cell's edge."""
    left = top = right = bottom = 0
    for code in codes:
        box = face.glyph_box(code)
        if box:
            left, top = min(left, box[0]), min(top, box[1])
            right, bottom = max(right, box[2]), max(bottom, box[3])
    pen_x, baseline = 1 - left, 1 - top
    need = max(pen_x + right, baseline + bottom, face.height) + 1
    return pen_x, baseline, need


def glyph_cell(face, code, cell, pen_x, baseline):
    image = Image.new('L', (cell, cell), 0)
    ImageDraw.Draw(image).text((pen_x, baseline), chr(code), font=face.font, fill=255, anchor='ls')
    box = face.glyph_box(code)
    if box and (pen_x + box[0] < 0 or baseline + box[1] < 0 or pen_x + box[2] > cell or baseline + box[3] > cell):
        raise FontError('U+%04X does not fit a %d-pixel cell: give a bigger --cell' % (code, cell))
    return image


def white(mask):
    image = Image.new('RGBA', mask.size, (255, 255, 255, 0))
    image.putalpha(mask)
    return image


def fmt(value):
    text = ('%.4f' % value).rstrip('0').rstrip('.')
    return text if text else '0'


def make_font(font_file, ident, size, out_dir, extra_codes=(), cell=None, technique='TEQ_FONT',
              techpack='TEQ_PACK'):
    """Writes the font's files; returns [(resource id, type, file name)] in load order."""
    if not ident or any(not (c.isalnum() or c == '_') for c in ident):
        raise FontError('font ID %r: use letters, digits and _ only' % ident)
    if not 4 <= size <= 256:
        raise FontError('size %d: use 4 to 256 pixels' % size)
    face = Face(font_file, size)
    base_codes = [c for c in range(32, 256) if face.has(c)]
    page_codes = sorted(c for c in extra_codes if face.has(c))
    pen_x, baseline, need = choose_cell(face, base_codes + page_codes)
    if cell is None:
        cell = 8
        while cell < need:
            cell *= 2
    elif cell < need:
        raise FontError('a %d-pixel cell is too small for this font at %d pixels: it needs %d' % (cell, size, need))
    stem = ident.lower()
    texture = 'TEX_' + ident
    os.makedirs(out_dir, exist_ok=True)

    atlas = Image.new('L', (cell * 16, cell * 16), 0)
    advances = [0] * 256
    for code in base_codes:
        advances[code] = face.advance(code)
        atlas.paste(glyph_cell(face, code, cell, pen_x, baseline), ((code % 16) * cell, (code // 16) * cell))
    advances[9] = advances[32] * 4
    box, advances[FALLBACK_CODE] = draw_fallback(cell, pen_x, baseline, face)
    atlas.paste(box, ((FALLBACK_CODE % 16) * cell, (FALLBACK_CODE // 16) * cell))
    white(atlas).save(os.path.join(out_dir, stem + '.png'), optimize=True)
    resources = [(texture, 'TEXTURE', stem + '.png')]

    wanted = set(page_codes)
    page_elements = []
    for first, rows in plan_pages(wanted):
        image = Image.new('L', (cell * 16, cell * rows), 0)
        cells = []
        for k in range(16 * rows):
            code = first + k
            if code not in wanted:
                continue
            image.paste(glyph_cell(face, code, cell, pen_x, baseline), ((k % 16) * cell, (k // 16) * cell))
            cells.append('cs%d="%d"' % (code, face.advance(code)))
        name = '%s_%04x.png' % (stem, first)
        page_texture = '%s_%04X' % (texture, first)
        white(image).save(os.path.join(out_dir, name), optimize=True)
        resources.append((page_texture, 'TEXTURE', name))
        page_elements.append('  <page textureid="%s" first="%d" columns="16" rows="%d"\n        %s/>'
                             % (page_texture, first, rows, ' '.join(cells)))

    attributes = ['id="%s"' % ident, 'textureid="%s"' % texture, 'techniqueid="%s"' % technique,
                  'techpackid="%s"' % techpack, 'cellsize="%d"' % cell, 'fallback="%d"' % FALLBACK_CODE]
    for index, colour in enumerate(COLOURS):
        attributes.append(' '.join('color%d%s="%s"' % (index, channel, fmt(value))
                                   for channel, value in zip('rgb', colour)))
    attributes += ['cs%d="%d"' % (code, advances[code]) for code in range(256)]
    comment = '<!-- %s: %s at %d pixels in %d-pixel cells, made by velmorfont. -->\n' % (
        ident, os.path.basename(font_file), size, cell)
    body = '<fontdesc\n  %s' % '\n  '.join(attributes)
    text = comment + body + ('>\n%s\n</fontdesc>\n' % '\n'.join(page_elements) if page_elements else '/>\n')
    with open(os.path.join(out_dir, stem + '.xml'), 'w', encoding='ascii') as f:
        f.write(text)
    resources.append((ident, 'FONT', stem + '.xml'))
    return resources


def data_relative(out_dir):
    """DIR relative to the DATA folder that holds it, with a trailing slash, or ''."""
    parts = os.path.abspath(out_dir).split(os.sep)
    if 'DATA' not in parts:
        return ''
    below = parts[len(parts) - parts[::-1].index('DATA'):]
    return '/'.join(below) + '/' if below else ''


def main(argv):
    parser = argparse.ArgumentParser(prog='velmorfont', description='Makes a Velmor2D bitmap font from a '
                                     'TrueType or OpenType font.')
    parser.add_argument('font_file')
    parser.add_argument('--id', required=True, help='the font ID, such as FNT_TEXT')
    parser.add_argument('--size', required=True, type=int, help='the font size in pixels')
    parser.add_argument('--out', required=True, help='the folder for the files')
    parser.add_argument('--pages', default='', help='further code points: latin-ext-a,greek,cyrillic or 0100-017F')
    parser.add_argument('--cell', type=int, help='the cell edge in pixels')
    parser.add_argument('--technique', default='TEQ_FONT')
    parser.add_argument('--techpack', default='TEQ_PACK')
    parser.add_argument('--tag', type=int, default=1)
    args = parser.parse_args(argv)
    try:
        resources = make_font(args.font_file, args.id, args.size, args.out, parse_ranges(args.pages), args.cell,
                              args.technique, args.techpack)
    except FontError as error:
        print('velmorfont: %s' % error, file=sys.stderr)
        return 1
    prefix = data_relative(args.out)
    for ident, kind, name in resources:
        extra = ' data1="3" data2="1" data3="0"' if kind == 'TEXTURE' else ''
        print('<r id="%s" typeid="%s" filename="%s%s" tag="%d"%s/>' % (ident, kind, prefix, name, args.tag, extra))
    return 0


if __name__ == '__main__':
    sys.exit(main(sys.argv[1:]))
