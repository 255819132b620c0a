#!/usr/bin/env python3
"""Checks the game's data folder DATA/.

1. Running tools/make_game_data.py again rebuilds exactly the committed bytes
   (no file missing, changed or left over).
2. The data holds together the way the engine, the GUI and the game read it:
   descriptors and files, load order by tag, fonts and techniques, every
   resource the GUI names, GUI parameter names and value formats, the GUI
   elements and native actions the game relies on, and the game settings.

Usage: check_game_data.py REPOSITORY_ROOT
"""
import os
import re
import struct
import subprocess
import sys
import tempfile
import xml.etree.ElementTree as ET

# GUI parameters by the class that first accepts them, with their value types
# (F float, B boolean, S string, A action, P point, R rectangle).
BASE = {'zorder': 'F', 'coords': 'R', 'technique': 'S', 'texture': 'S', 'color': 'R', 'visible': 'B',
        'enabled': 'B', 'tip': 'S', 'tag': 'F'}
TILE = {'drawscheme': 'F', 'drawparams': 'R', 'texcoords': 'R'}
ADVTILE = {'on_gotfocus': 'A', 'on_lostfocus': 'A', 'on_click': 'A', 'on_hotkey': 'A', 'hotkey': 'S'}
BUTTON = {'texture_normal': 'S', 'texture_disabled': 'S', 'texture_selected': 'S', 'texture_pressed': 'S',
          'childscolor_normal': 'R', 'childscolor_disabled': 'R', 'childscolor_selected': 'R',
          'childscolor_pressed': 'R', 'on_press': 'A', 'on_hold': 'A', 'sound_press': 'S', 'sound_click': 'S',
          'sound_gotfocus': 'S', 'sound_lostfocus': 'S', 'sound_hotkey': 'S', 'holdtime_start': 'F',
          'holdtime_interval': 'F', 'activerect': 'R', 'on_enable': 'A', 'on_disable': 'A'}
WINDOW = {'color_hidden': 'R', 'color_middle': 'R', 'color_shown': 'R', 'location_hidden': 'P',
          'location_middle': 'P', 'location_shown': 'P', 'time_showhide': 'F', 'on_hide': 'A', 'on_show': 'A',
          'on_enable': 'A', 'on_disable': 'A', 'sound_hide': 'S', 'sound_show': 'S'}
LABEL = {'font': 'S', 'font_color': 'F', 'font_alpha': 'F', 'font_setdefaulttechnique': 'B', 'font_scale': 'F',
         'font_shiftx': 'F', 'font_shifty': 'F', 'text': 'S', 'alignment': 'F', 'limitviewport': 'B'}
TEXTBOX = {'activerect': 'R', 'on_input': 'A', 'blink_time': 'F', 'blink_char': 'S', 'maxchars': 'F',
           'language': 'F', 'sound_input': 'S', 'on_enable': 'A', 'on_disable': 'A'}
FLEX = {'on_update': 'A', 'on_redraw': 'A'}
CLASS_PARAMS = {
    'tile': {**BASE, **TILE},
    'button': {**BASE, **TILE, **ADVTILE, **BUTTON},
    'window': {**BASE, **WINDOW},
    'label': {**BASE, **LABEL},
    'textbox': {**BASE, **LABEL, **TEXTBOX},
    'flex': {**BASE, **FLEX},
}
RESOURCE_PARAMS = {'texture': 'TEXTURE', 'texture_normal': 'TEXTURE', 'texture_disabled': 'TEXTURE',
                   'texture_selected': 'TEXTURE', 'texture_pressed': 'TEXTURE', 'technique': 'TECHNIQUE',
                   'font': 'FONT', 'sound_press': 'SOUND', 'sound_click': 'SOUND', 'sound_gotfocus': 'SOUND',
                   'sound_lostfocus': 'SOUND', 'sound_hotkey': 'SOUND', 'sound_input': 'SOUND',
                   'sound_hide': 'SOUND', 'sound_show': 'SOUND'}

# The game's native actions and the elements it addresses.
NATIVE_ACTIONS = ['WND_DTP_MAINWINDOW_ONSHOW', 'BTN_MW_START_ONPRESS', 'BTN_MW_HELP_ONPRESS', 'BTN_MW_EXIT_ONPRESS',
                  'FLX_MW_GAMEBOARD_ONREDRAW', 'WND_DTP_COMPLETE_ONSHOW', 'BTN_CMP_OK_ONPRESS',
                  'WND_DTP_HIGHSCORE_ONSHOW', 'BTN_HS_OK_ONPRESS', 'TBX_HS_NAME_ONINPUT', 'WND_DTP_HELP_ONSHOW',
                  'BTN_HLP_OK_ONPRESS']
GAME_ELEMENTS = {
    'WND_DTP_MAINWINDOW': ('window', {'on_show': 'WND_DTP_MAINWINDOW_ONSHOW'}),
    'WND_DTP_HELP': ('window', {'on_show': 'WND_DTP_HELP_ONSHOW'}),
    'WND_DTP_COMPLETE': ('window', {'on_show': 'WND_DTP_COMPLETE_ONSHOW'}),
    'WND_DTP_HIGHSCORE': ('window', {'on_show': 'WND_DTP_HIGHSCORE_ONSHOW'}),
    'TBX_HS_NAME': ('textbox', {'on_input': 'TBX_HS_NAME_ONINPUT'}),
    'FLX_MW_GAMEBOARD': ('flex', {'on_redraw': 'FLX_MW_GAMEBOARD_ONREDRAW'}),
    'L_MW_TIME_TIME': ('label', {}),
    'TILE_MW_TIME': ('tile', {}),
    'TILE_MW_BESTRESULT': ('tile', {}),
    'L_MW_BESTRESULT_NAME': ('label', {}),
    'L_MW_BESTRESULT_TIME': ('label', {}),
}
for _button in ('BTN_MW_START', 'BTN_MW_HELP', 'BTN_MW_EXIT', 'BTN_CMP_OK', 'BTN_HS_OK', 'BTN_HLP_OK'):
    GAME_ELEMENTS[_button] = ('button', {'on_press': _button + '_ONPRESS'})
GAME_RESOURCES = {'FNT_FONT1': 'FONT', 'TEX_CURSOR': 'TEXTURE', 'TEX_BG': 'TEXTURE', 'TEX_TILE': 'TEXTURE',
                  'SND_PIECEMOVE': 'SOUND', 'MUS_GAME': 'MUSIC'}
PREFIX_TYPES = {'TEX_': 'TEXTURE', 'TEQ_': 'TECHNIQUE', 'FNT_': 'FONT', 'SND_': 'SOUND', 'MUS_': 'MUSIC'}
NUMBER = re.compile(r'^-?\d+(\.\d+)?$')
# What the game itself writes into its data folder.
RUNTIME_FILES = re.compile(r'^qbhs\.dat')

failures = []


def fail(message):
    failures.append(message)


def read(path):
    with open(path, 'rb') as f:
        return f.read()


def data_files(folder):
    found = set()
    for base, _dirs, names in os.walk(folder):
        for name in names:
            rel = os.path.relpath(os.path.join(base, name), folder).replace(os.sep, '/')
            if not RUNTIME_FILES.match(rel):
                found.add(rel)
    return found


def check_regeneration(root, data):
    with tempfile.TemporaryDirectory() as out:
        run = subprocess.run([sys.executable, os.path.join(root, 'tools', 'make_game_data.py'), '--out', out],
                             stdout=subprocess.PIPE, stderr=subprocess.STDOUT)
        if run.returncode != 0:
            fail('the generator failed:\n' + run.stdout.decode(errors='replace'))
            return
        generated, committed = data_files(out), data_files(data)
        for rel in sorted(generated - committed):
            fail('%s is generated but not in DATA/' % rel)
        for rel in sorted(committed - generated):
            fail('DATA/%s is not made by the generator' % rel)
        for rel in sorted(generated & committed):
            if read(os.path.join(out, rel)) != read(os.path.join(data, rel)):
                fail('DATA/%s differs from what the generator writes' % rel)


def parse(path):
    try:
        return ET.parse(path).getroot()
    except ET.ParseError as error:
        fail('%s is not well-formed XML: %s' % (path, error))
        return None


def check_value(where, name, kind, value):
    fields = value.split()
    if kind in 'RP':
        count = 4 if kind == 'R' else 2
        if len(fields) != count or not all(NUMBER.match(f) for f in fields):
            fail('%s: %s="%s" is not %d numbers' % (where, name, value, count))
    elif kind == 'F' and not NUMBER.match(value):
        fail('%s: %s="%s" is not a number' % (where, name, value))
    elif kind == 'B' and value not in ('0', '1', 'true', 'false'):
        fail('%s: %s="%s" is not a boolean' % (where, name, value))
    elif value == '':
        fail('%s: %s is empty' % (where, name))


def load_descriptors(data):
    """Records by id: (typeid, tag, path). Every *.xml directly in DATA/ is a
    descriptor for the engine."""
    records = {}
    for name in sorted(os.listdir(data)):
        if not name.lower().endswith('.xml') or not os.path.isfile(os.path.join(data, name)):
            continue
        root = parse(os.path.join(data, name))
        if root is None:
            continue
        if root.tag != 'respack':
            fail('DATA/%s is read as a resource descriptor but its root is <%s>' % (name, root.tag))
            continue
        for r in root:
            ident, typeid, filename = r.get('id', ''), r.get('typeid', ''), r.get('filename', '')
            if ident in records:
                fail('resource %s is declared twice' % ident)
            if filename != filename.lower():
                fail('resource %s: file name %s is not lower-case' % (ident, filename))
            path = os.path.join(data, filename)
            if not os.path.isfile(path) or os.path.getsize(path) == 0:
                fail('resource %s: file %s is missing or empty' % (ident, filename))
            for prefix, kind in PREFIX_TYPES.items():
                if ident.startswith(prefix) and typeid != kind:
                    fail('resource %s has type %s' % (ident, typeid))
            if not 1 <= int(r.get('tag', '0')) <= 8:
                fail('resource %s has tag %s: the game loads tags 1 to 8' % (ident, r.get('tag')))
            records[ident] = (typeid, int(r.get('tag', '0')), path)
    return records


def check_resources(data, records):
    """Files of each kind, fonts and techniques; returns the technique IDs
    with the tag of their pack."""
    techniques = {}
    for ident, (typeid, tag, path) in sorted(records.items()):
        if typeid == 'TECHNIQUE':
            root = parse(path)
            for t in (root if root is not None else []):
                techniques[t.get('id')] = tag
        elif typeid == 'TEXTURE':
            head = read(path)[:24]
            if head[:8] != b'\x89PNG\r\n\x1a\n':
                fail('texture %s is not a PNG' % ident)
                continue
            width, height = struct.unpack('>II', head[16:24])
            if width & (width - 1) or height & (height - 1):
                fail('texture %s is %dx%d: the loader would stretch it to powers of two' % (ident, width, height))
        elif typeid == 'SOUND':
            head = read(path)[:44]
            channels, rate, bits = struct.unpack('<HI', head[22:28]) + struct.unpack('<H', head[34:36])
            if head[:4] != b'RIFF' or head[8:12] != b'WAVE' or (channels, rate, bits) != (1, 44100, 16):
                fail('sound %s is not a 16-bit mono 44.1 kHz WAV' % ident)
        elif typeid == 'MUSIC':
            head = read(path)[:80]
            if head[:17] != b'Extended Module: ' or struct.unpack('<H', head[68:70])[0] != 4:
                fail('music %s is not a four-channel XM module' % ident)
    for ident, (typeid, tag, path) in sorted(records.items()):
        if typeid != 'FONT':
            continue
        root = parse(path)
        if root is None:
            continue
        if root.get('id') != ident:
            fail('font %s describes %s' % (ident, root.get('id')))
        texture = records.get(root.get('textureid'))
        if not texture or texture[0] != 'TEXTURE' or texture[1] > tag:
            fail('font %s: texture %s is not declared by its tag' % (ident, root.get('textureid')))
        pack = records.get(root.get('techpackid'))
        if not pack or pack[0] != 'TECHNIQUE' or root.get('techniqueid') not in techniques:
            fail('font %s: technique %s is not in pack %s' % (ident, root.get('techniqueid'), root.get('techpackid')))
        if any(not NUMBER.match(root.get('cs%d' % code, '')) for code in range(256)):
            fail('font %s lacks advances' % ident)
    return techniques


def check_settings(records):
    values = {}
    for typeid, _tag, path in records.values():
        if typeid == 'XMLDATA':
            root = parse(path)
            for child in (root if root is not None else []):
                values.update(child.attrib)
    if values.get('qbgameid') != '3':
        fail('qbgameid is %s, the game needs 3' % values.get('qbgameid'))
    for name in ('sizex', 'sizey'):
        if not values.get(name, '').isdigit() or int(values[name]) < 1:
            fail('%s is %s' % (name, values.get(name)))
    for i in (1, 2, 3):
        for ch in 'rgb':
            v = values.get('color%d%s' % (i, ch))
            if v is None or not NUMBER.match(v) or not 0 <= float(v) <= 1:
                fail('tile colour color%d%s is %s' % (i, ch, v))
    return values


def check_gui(records, techniques, settings):
    elements = {}  # id -> (class, attributes, parent id)
    for ident, (typeid, tag, path) in sorted(records.items(), key=lambda item: item[1][1]):
        if typeid != 'GUIDATA':
            continue
        root = parse(path)
        if root is None or root.tag != 'desktop':
            fail('GUI data %s has no desktop root' % ident)
            continue
        stack = [(child, 'DESKTOP') for child in reversed(list(root))]
        while stack:
            node, parent = stack.pop()
            eid = node.get('id', '')
            where = '%s <%s id="%s">' % (os.path.basename(path), node.tag, eid)
            if node.tag not in CLASS_PARAMS:
                fail('%s: class %s is not used by this data' % (where, node.tag))
                continue
            if eid in elements or not eid:
                fail('%s: missing or repeated id' % where)
            elements[eid] = (node.tag, node.attrib, parent)
            for name, value in node.attrib.items():
                if name in ('id', 'style'):
                    continue
                kind = CLASS_PARAMS[node.tag].get(name)
                if kind is None:
                    fail('%s: %s is not a parameter of %s' % (where, name, node.tag))
                    continue
                check_value(where, name, kind, value)
                if kind == 'A' and value not in NATIVE_ACTIONS:
                    fail('%s: %s="%s" names no native action' % (where, name, value))
                wanted = RESOURCE_PARAMS.get(name)
                if wanted == 'TECHNIQUE':
                    if techniques.get(value, 99) >= tag:
                        fail('%s: technique %s is not loaded before the GUI' % (where, value))
                elif wanted:
                    record = records.get(value)
                    if not record or record[0] != wanted or record[1] >= tag:
                        fail('%s: %s %s is not declared by an earlier tag' % (where, wanted.lower(), value))
            stack.extend((child, eid) for child in reversed(list(node)))

    for eid, (cls, params) in GAME_ELEMENTS.items():
        if eid not in elements:
            fail('GUI element %s is missing' % eid)
            continue
        if elements[eid][0] != cls:
            fail('GUI element %s is a %s, not a %s' % (eid, elements[eid][0], cls))
        for name, value in params.items():
            if elements[eid][1].get(name) != value:
                fail('GUI element %s: %s is not bound to %s' % (eid, name, value))

    # Input reaches an element only when it and its ancestors up to its
    # window are visible and enabled (both default to false).
    for eid, (cls, attrs, parent) in elements.items():
        if cls not in ('button', 'textbox'):
            continue
        chain = [eid]
        while chain[-1] in elements and elements[chain[-1]][0] != 'window':
            chain.append(elements[chain[-1]][2])
        for link in chain:
            c, a, _p = elements.get(link, ('', {}, ''))
            if a.get('enabled') not in ('1', 'true') or (c != 'window' and a.get('visible') not in ('1', 'true')):
                fail('input element %s: %s is not visible and enabled' % (eid, link))

    # The game reads the board element's coords as screen pixels.
    if 'FLX_MW_GAMEBOARD' in elements and 'WND_DTP_MAINWINDOW' in elements:
        board = elements['FLX_MW_GAMEBOARD']
        window = elements['WND_DTP_MAINWINDOW'][1]
        if board[2] != 'WND_DTP_MAINWINDOW' or window.get('location_shown', '').split() != ['0', '0']:
            fail('FLX_MW_GAMEBOARD must sit directly in the main window, shown at (0, 0)')
        x, y, w, h = (float(v) for v in board[1].get('coords', '0 0 0 0').split())
        cols, rows = int(settings.get('sizex', '0')), int(settings.get('sizey', '0'))
        if w <= 0 or h <= 0 or x < 0 or y < 0 or x + cols * w > 800 or y + rows * h > 600:
            fail('the board (%g, %g) of %dx%d cells of %gx%g leaves the screen' % (x, y, cols, rows, w, h))


def main():
    if len(sys.argv) != 2:
        print(__doc__)
        return 2
    root = os.path.abspath(sys.argv[1])
    data = os.path.join(root, 'DATA')
    check_regeneration(root, data)
    records = load_descriptors(data)
    for ident, kind in GAME_RESOURCES.items():
        if records.get(ident, ('',))[0] != kind:
            fail('the game needs the %s resource %s' % (kind.lower(), ident))
    techniques = check_resources(data, records)
    if 'TEQ_STD2' not in techniques:
        fail('no technique pack defines TEQ_STD2')
    settings = check_settings(records)
    check_gui(records, techniques, settings)
    for message in failures:
        print('FAILED: ' + message)
    print('%d resources checked, %d problems' % (len(records), len(failures)))
    return 1 if failures else 0


if __name__ == '__main__':
    sys.exit(main())
