#!/usr/bin/python3
"""The makers' handbook holds true to the code:

- every script function the engine and the GUI register has a section in the
  script-function reference, and no section names a function that does not
  exist; the documented number of required and optional arguments is what
  the glue code checks;
- every GUI class, command, event (action parameter) and resource type the
  code registers is in its reference page, and nothing else is;
- the generated pages (keys, GUI parameters) and the tutorial's art are what
  their generators write now;
- every code block marked as a complete script compiles with luac5.1, and a
  marked block that names an example file is that file;
- mkdocs build --strict succeeds (no broken link, no missing page).

Usage: check_handbook.py REPO_ROOT. Prints each failure; exit status 1 on any.
"""
import filecmp
import glob
import os
import re
import subprocess
import sys
import tempfile

ROOT = os.path.abspath(sys.argv[1] if len(sys.argv) > 1 else os.path.join(os.path.dirname(__file__), '..', '..'))
failures = []


def fail(message):
    failures.append(message)


def read(*parts):
    with open(os.path.join(ROOT, *parts), encoding='utf-8') as f:
        return f.read()


def compare_sets(what, in_code, in_docs):
    for name in sorted(set(in_code) - set(in_docs)):
        fail('%s %s is registered in the code but missing from the handbook' % (what, name))
    for name in sorted(set(in_docs) - set(in_code)):
        fail('%s %s is in the handbook but the code registers no such thing' % (what, name))


# ---- Script functions ---------------------------------------------------------------------

def glue_sources():
    return sorted(glob.glob(os.path.join(ROOT, 'CVelmor', 'cvelmor_glue_*.cpp')) +
                  glob.glob(os.path.join(ROOT, 'CVelmorGUI', 'v2dgui_glue_main.cpp')))


def registered_functions():
    names = []
    for path in glue_sources():
        names += re.findall(r'ScriptRegisterFunction\("(\w+)"', open(path, encoding='utf-8').read())
    return names


def glue_arity():
    """name -> (required, optional) where the glue checks a fixed list of positions."""
    arity = {}
    for path in glue_sources():
        text = open(path, encoding='utf-8').read()
        for match in re.finditer(r'V2D_SCRIPT_FUNCTION\((\w+)\)\s*\{(.*?)\n\}', text, re.S):
            name, body = match.group(1), match.group(2)
            lists = re.search(r'(?:CHECK_ARGS\("\w+",|GlueFirstBadArgument\(L,)\s*(\{[^}]*\})(?:,\s*(\{[^}]*\}))?',
                              body)
            numbers = re.search(r'GlueReadNumbers\(L,\s*(\d+),\s*(\d+)', body)
            if lists:
                count = lambda group: len(re.findall(r'GLUE_\w+', group or ''))
                arity[name] = (count(lists.group(1)), count(lists.group(2)))
            elif numbers:
                arity[name] = (int(numbers.group(1)), int(numbers.group(2)) - int(numbers.group(1)))
            elif '(void)L' in body:
                arity[name] = (0, 0)
    return arity


def documented_functions():
    """name -> its signature line's argument list text, from the reference."""
    text = read('docs', 'reference', 'script-functions.md')
    sections = re.split(r'^### ', text, flags=re.M)[1:]
    documented = {}
    for section in sections:
        name = section.split('\n', 1)[0].strip()
        call = re.search(r'`(?:[\w, ]+ = )?' + re.escape(name) + r'\(([^`]*)\)', section)
        documented[name] = call.group(1) if call else None
    return documented


def documented_arity(arguments):
    required = optional = 0
    for argument in filter(None, (a.strip() for a in re.split(r',\s*(?![^\[]*\])', arguments))):
        if argument.startswith('['):
            optional += 1
        elif argument != '...' and not argument.endswith('...'):
            required += 1
    return required, optional


def check_script_functions():
    registered = registered_functions()
    documented = documented_functions()
    compare_sets('script function', registered, documented)
    for name, (required, optional) in glue_arity().items():
        if name not in documented:
            continue
        arguments = documented[name]
        if arguments is None:
            fail('script function %s: no call `%s(...)` in its section' % (name, name))
            continue
        if documented_arity(arguments) != (required, optional):
            fail('script function %s: documented as (%s), the glue checks %d required and %d optional arguments'
                 % (name, arguments, required, optional))


# ---- GUI and resources ---------------------------------------------------------------------

def check_gui_and_resources():
    gui = read('CVelmorGUI', 'v2dgui_cvelmorgui_main.cpp')
    classes_block = gui[gui.index('kStandardClasses[]'):]
    classes = re.findall(r'\{"(\w+)",\s*CGUI\w+::Create\}', classes_block[:classes_block.index('};')])
    documented_classes = re.findall(r'^## (\w+)$', read('docs', 'reference', 'gui-classes.md'), re.M)
    compare_sets('GUI class', classes, documented_classes)

    commands = set()
    for path in glob.glob(os.path.join(ROOT, 'CVelmorGUI', '*.h')):
        commands |= {int(n) for n in re.findall(r'\bGUICMD_\w+\s*=\s*(\d+)', open(path, encoding='utf-8').read())}
    page = read('docs', 'reference', 'gui-commands-events.md')
    commands_part, events_part = page.split('## Events')
    documented_commands = {int(n) for n in re.findall(r'^\| (\d+) \|', commands_part, re.M)}
    compare_sets('GUI command', commands, documented_commands)

    params_block = gui[gui.index('kStandardParams[]'):]
    actions = re.findall(r'\{"(\w+)",\s*\d+,\s*A\}', params_block[:params_block.index('};')])
    documented_events = re.findall(r'^\| `(\w+)` \|', events_part, re.M)
    compare_sets('GUI event', actions, documented_events)

    engine = read('CVelmor', 'cvelmor_res_main.cpp')
    loaders = engine[engine.index('kStandardLoaders[]'):]
    types = re.findall(r'\{"(\w+)",\s*\w+,\s*\w+\}', loaders[:loaders.index('};')])
    xmlload = read('CVelmorGUI', 'v2dgui_cvelmorgui_xmlload.cpp')
    types += re.findall(r'\{"(GUI\w+)",\s*ResLoad\w+\}', xmlload)
    documented_types = re.findall(r'^\| `([A-Z]+)` \|', read('docs', 'reference', 'resource-types.md'), re.M)
    compare_sets('resource type', types, documented_types)


# ---- Generated files -------------------------------------------------------------------------

def check_generated():
    with tempfile.TemporaryDirectory() as scratch:
        subprocess.run([sys.executable, os.path.join(ROOT, 'tools', 'make_reference.py'), scratch], check=True)
        for name in sorted(os.listdir(scratch)):
            if not filecmp.cmp(os.path.join(scratch, name), os.path.join(ROOT, 'docs', 'reference', name),
                               shallow=False):
                fail('docs/reference/%s differs from what tools/make_reference.py writes: run it' % name)
        art = os.path.join(scratch, 'examples')
        subprocess.run([sys.executable, os.path.join(ROOT, 'tools', 'make_tutorial_art.py'), art], check=True)
        for path in sorted(glob.glob(os.path.join(art, '**', '*'), recursive=True)):
            if os.path.isfile(path):
                committed = os.path.join(ROOT, 'examples', os.path.relpath(path, art))
                if not os.path.exists(committed) or not filecmp.cmp(path, committed, shallow=False):
                    fail('%s differs from what tools/make_tutorial_art.py writes: run it' %
                         os.path.relpath(committed, ROOT))


# ---- Complete scripts ---------------------------------------------------------------------------

MARK = re.compile(r'<!-- complete script(?:: ([^ ]+))? -->\n```lua\n(.*?)```', re.S)


def check_complete_scripts():
    count = 0
    for page in sorted(glob.glob(os.path.join(ROOT, 'docs', '**', '*.md'), recursive=True)):
        text = open(page, encoding='utf-8').read()
        for match in MARK.finditer(text):
            count += 1
            where = '%s (script %s)' % (os.path.relpath(page, ROOT), match.group(1) or 'block %d' % count)
            path, code = match.group(1), match.group(2)
            if path and open(os.path.join(ROOT, path), encoding='utf-8').read() != code:
                fail('%s: the block is not the file %s' % (where, path))
            with tempfile.NamedTemporaryFile('w', suffix='.lua') as script:
                script.write(code)
                script.flush()
                result = subprocess.run(['luac5.1', '-p', script.name], capture_output=True, text=True)
                if result.returncode != 0:
                    fail('%s: luac5.1 -p: %s' % (where, result.stderr.strip()))
    if count == 0:
        fail('no code block is marked as a complete script')


def check_site():
    with tempfile.TemporaryDirectory() as site:
        result = subprocess.run(['mkdocs', 'build', '--strict', '--quiet', '--site-dir', site],
                                cwd=ROOT, capture_output=True, text=True)
        if result.returncode != 0:
            fail('mkdocs build --strict: %s' % (result.stderr.strip() or result.stdout.strip()))
        elif not os.path.exists(os.path.join(site, 'search', 'search_index.json')):
            fail('the site has no search index')


def main():
    check_script_functions()
    check_gui_and_resources()
    check_generated()
    check_complete_scripts()
    check_site()
    for message in failures:
        print(message)
    return 1 if failures else 0


if __name__ == '__main__':
    sys.exit(main())
