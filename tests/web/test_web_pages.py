#!/usr/bin/python3
"""The web pages of scripts/build-web.sh in headless Chromium, as a player uses them.

    test_web_pages.py PAGES VELMORPAK SOURCE

PAGES is the folder build-web.sh wrote (quble/, runner-demo/, gui-gallery/),
VELMORPAK the build machine's velmorpak, SOURCE the repository. Each test
serves its own copy of the pages with scripts/serve-web.sh on a free port
and drives Chromium (software WebGL) with a profile of its own.
"""
import io
import os
import shutil
import socket
import struct
import subprocess
import sys
import tempfile
import time
import unittest

from PIL import Image, ImageStat
from selenium import webdriver
from selenium.webdriver.common.action_chains import ActionChains
from selenium.webdriver.common.by import By
from selenium.webdriver.common.keys import Keys

PAGES = VELMORPAK = SOURCE = None

# The game's Start and Exit buttons and its board, in picture pixels.
START, EXIT = (624, 414), (624, 542)
BOARD = (40, 120, 400, 480)
# Where the best result is shown beside the board.
RECORD_PANEL = (430, 120, 790, 380)


def wait_until(condition, seconds, what):
    deadline = time.monotonic() + seconds
    while True:
        result = condition()
        if result:
            return result
        if time.monotonic() > deadline:
            raise AssertionError('timed out after %d s waiting for %s' % (seconds, what))
        time.sleep(0.2)


def free_port():
    with socket.socket() as s:
        s.bind(('127.0.0.1', 0))
        return s.getsockname()[1]


def pack_three_tile_game(pack, scratch):
    """The game's data with a board of three tiles, red, green and blue by number."""
    data = os.path.join(scratch, 'source', 'DATA')
    shutil.copytree(os.path.join(SOURCE, 'DATA'), data)
    if os.path.exists(os.path.join(data, 'qbhs.dat')):
        os.remove(os.path.join(data, 'qbhs.dat'))
    with open(os.path.join(data, 'game', 'settings.xml'), 'w') as f:
        f.write('<xmldata><game qbgameid="3"/><board sizex="3" sizey="1"/>'
                '<tiles color1r="1" color1g="0" color1b="0" color2r="0" color2g="1" '
                'color2b="0" color3r="0" color3g="0" color3b="1"/></xmldata>')
    descriptors = sorted(os.path.join(data, n) for n in os.listdir(data) if n.endswith('.xml'))
    subprocess.run([VELMORPAK, pack] + descriptors, check=True, stdout=subprocess.DEVNULL, timeout=60)


def reference_texture():
    """The desktop reference test's texture: colour ramps across, alpha falling
    down, a dark checker so filtering and mip levels show. Its texels are put
    together as 32-bit words, as that test does, where the red of the dark
    first column goes below zero and spills into the alpha."""
    texture = Image.new('RGBA', (16, 16))
    for y in range(16):
        for x in range(16):
            checker = 0x40 if (x // 2 + y // 2) % 2 else 0
            red = (x * 16 + 8 - checker // 4) & 0xFFFFFFFF
            word = ((255 - y * 12) << 24 | red << 16 | (y * 15) << 8 | (200 - checker)) & 0xFFFFFFFF
            texture.putpixel((x, y), (word >> 16 & 0xFF, word >> 8 & 0xFF, word & 0xFF, word >> 24))
    return texture


# The reference picture's cells, 28 pixels square: a column per technique,
# the last three of which sample their texels by point.
CELL = 28
POINT_SAMPLED_COLUMNS = (5, 6, 7)


def compare_with_reference(reference, picture):
    """What differs between the page and the desktop's reference picture.

    Filtered cells must match within two steps of a channel at every pixel.
    A point-sampled cell whose samples fall exactly on texel edges takes the
    texel on either side as the rasterizer rounds (Chromium's software WebGL
    and Mesa's differ there), so only its mean colour is held to the
    reference, within four steps; a wrong format, swizzle or blend moves it
    by far more."""
    problems = []
    for row in range(reference.height // CELL):
        for column in range(reference.width // CELL):
            box = (column * CELL, row * CELL, (column + 1) * CELL, (row + 1) * CELL)
            want, got = reference.crop(box), picture.crop(box)
            if column in POINT_SAMPLED_COLUMNS:
                means = zip(ImageStat.Stat(want).mean, ImageStat.Stat(got).mean)
                worst = max(abs(a - b) for a, b in means)
                limit = 4
            else:
                worst = max(max(abs(p - q) for p, q in zip(a, b)) for a, b in zip(want.getdata(), got.getdata()))
                limit = 2
            if worst > limit:
                problems.append('cell %d,%d by %.1f steps' % (column, row, worst))
    return problems


class Browser:
    """Chromium on a profile folder that outlives it (the browser's storage)."""

    def __init__(self, profile, extra_arguments=()):
        options = webdriver.ChromeOptions()
        for argument in ('--headless=new', '--no-sandbox', '--use-angle=swiftshader', '--enable-unsafe-swiftshader',
                         '--window-size=1024,768', '--user-data-dir=' + profile) + tuple(extra_arguments):
            options.add_argument(argument)
        options.set_capability('goog:loggingPrefs', {'browser': 'ALL'})
        self.driver = webdriver.Chrome(options=options)
        self.driver.set_page_load_timeout(60)
        self.driver.set_script_timeout(30)
        self.console = []

    def quit(self):
        self.read_console()
        self.driver.quit()

    def read_console(self):
        self.console += self.driver.get_log('browser')
        return self.console

    def errors(self):
        return [entry['message'] for entry in self.read_console() if entry['level'] == 'SEVERE']

    def canvas(self):
        return self.driver.find_element(By.ID, 'canvas')

    def picture(self):
        """What the page shows of the canvas, scaled back to 800x600."""
        shot = Image.open(io.BytesIO(self.canvas().screenshot_as_png)).convert('RGB')
        return shot.resize((800, 600), Image.NEAREST)

    def started(self):
        return self.driver.execute_script(
            "return document.getElementById('loading').hidden && typeof Module !== 'undefined' && "
            "Module.calledRun === true")

    def click(self, x, y):
        """Clicks a point of the 800x600 picture through the page's scaling."""
        canvas = self.canvas()
        width, height = canvas.size['width'], canvas.size['height']
        ActionChains(self.driver).move_to_element_with_offset(
            canvas, int(x * width / 800 - width / 2), int(y * height / 600 - height / 2)).click().perform()

    def type(self, text):
        """Types as a person does, a key at a time."""
        for key in text:
            ActionChains(self.driver).send_keys(key).perform()
            time.sleep(0.03)

    def read_file(self, path):
        """A file of the page's file system, or None."""
        return self.driver.execute_script(
            "try { const c = FS.readFile(arguments[0]); "
            "return Array.from(new Uint8Array(c.buffer, c.byteOffset, c.length)); } catch (e) { return null; }", path)

    def stored_file(self, folder, name):
        """A file as the browser's IndexedDB holds it for the player's folder, or None."""
        return self.driver.execute_async_script("""
            const [folder, name, done] = arguments;
            const open = indexedDB.open(folder);
            open.onerror = () => done(null);
            open.onsuccess = () => {
              const db = open.result;
              if (!db.objectStoreNames.contains('FILE_DATA')) return done(null);
              const get = db.transaction('FILE_DATA').objectStore('FILE_DATA').get(folder + '/' + name);
              get.onsuccess = () => {
                const c = get.result && get.result.contents;
                done(c ? Array.from(new Uint8Array(c.buffer, c.byteOffset, c.length)) : null);
              };
              get.onerror = () => done(null);
            };""", folder, name)


def colourful_share(picture, box, step=4):
    """Share of the pixels in box that are not near-black."""
    count = lit = 0
    for y in range(box[1], box[3], step):
        for x in range(box[0], box[2], step):
            count += 1
            lit += sum(picture.getpixel((x, y))) > 60
    return lit / count


def changed_share(a, b, box=(0, 0, 800, 600), step=4):
    count = changed = 0
    for y in range(box[1], box[3], step):
        for x in range(box[0], box[2], step):
            count += 1
            changed += max(abs(p - q) for p, q in zip(a.getpixel((x, y)), b.getpixel((x, y)))) > 24
    return changed / count


def find_tile(picture, channel):
    """The centre of the board's tile of one pure colour, or None."""
    xs, ys = [], []
    for y in range(BOARD[1], BOARD[3], 3):
        for x in range(BOARD[0], BOARD[2], 3):
            rgb = picture.getpixel((x, y))
            if rgb[channel] > 150 and max(rgb[(channel + 1) % 3], rgb[(channel + 2) % 3]) < 70:
                xs.append(x)
                ys.append(y)
    if len(xs) < 30:
        return None
    return sum(xs) / len(xs), sum(ys) / len(ys)


class WebPageTest(unittest.TestCase):
    def setUp(self):
        self.scratch = tempfile.mkdtemp(prefix='velmor-web-')
        self.site = os.path.join(self.scratch, 'site')
        os.mkdir(self.site)
        self.port = free_port()
        self.server = subprocess.Popen(
            ['bash', os.path.join(SOURCE, 'scripts', 'serve-web.sh'), '--port', str(self.port), '--root', self.site],
            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        self.browsers = []

    def tearDown(self):
        for browser in self.browsers:
            try:
                browser.quit()
            except Exception:
                pass
        self.server.terminate()
        self.server.wait(timeout=10)
        shutil.rmtree(self.scratch, ignore_errors=True)

    def add_page(self, name):
        shutil.copytree(os.path.join(PAGES, name), os.path.join(self.site, name))

    def add_runner_page(self, name, data):
        """A page for a velmor-run game in the folder data, as build-web.sh
        makes one: the runner demo's page with another name and pack."""
        page = os.path.join(self.site, name)
        os.mkdir(page)
        demo = os.path.join(PAGES, 'runner-demo')
        for extension in ('js', 'wasm'):
            shutil.copy(os.path.join(demo, 'runner-demo.' + extension), os.path.join(page, name + '.' + extension))
        with open(os.path.join(demo, 'index.html')) as f:
            html = f.read().replace("'runner-demo'", repr(name)).replace('<title>runner-demo<', '<title>%s<' % name)
        with open(os.path.join(page, 'index.html'), 'w') as f:
            f.write(html)
        descriptors = sorted(os.path.join(data, n) for n in os.listdir(data) if n.endswith('.xml'))
        subprocess.run([VELMORPAK, os.path.join(page, name + '.data')] + descriptors, check=True,
                       stdout=subprocess.DEVNULL, timeout=60)

    def browser(self, profile='profile', extra_arguments=()):
        browser = Browser(os.path.join(self.scratch, profile), extra_arguments)
        self.browsers.append(browser)
        return browser

    def open(self, browser, name):
        wait_until(lambda: self.server.poll() is None and self.port_open(), 20, 'the server')
        browser.driver.get('http://127.0.0.1:%d/%s/' % (self.port, name))
        wait_until(browser.started, 60, 'the %s page to start' % name)

    def port_open(self):
        with socket.socket() as s:
            return s.connect_ex(('127.0.0.1', self.port)) == 0

    def assert_draws(self, browser, what):
        """The canvas shows a picture: many pixels lit, in more than a few colours."""
        def drawn():
            picture = browser.picture()
            return (colourful_share(picture, (0, 0, 800, 600)) > 0.1 and
                    len(set(picture.getdata())) > 20) and picture
        return wait_until(drawn, 60, what)

    def still_picture(self, browser, what):
        """The drawn picture once it holds still (fades in are over)."""
        previous = [self.assert_draws(browser, what)]

        def still():
            time.sleep(0.3)
            now = browser.picture()
            held = changed_share(previous[0], now) < 0.002
            previous[0] = now
            return held and now
        return wait_until(still, 30, what + ' to hold still')

    def test_quble_plays_a_round_keeps_the_record_across_reloads_and_restarts_and_ends_cleanly(self):
        self.add_page('quble')
        pack_three_tile_game(os.path.join(self.site, 'quble', 'quble.data'), self.scratch)
        folder = '/home/web_user/.local/share/quble'
        browser = self.browser()
        self.open(browser, 'quble')
        first = self.still_picture(browser, 'the main window')
        self.assertEqual(browser.driver.execute_script('return Module.SDL2.audioContext.state'), 'suspended',
                         'sound waits for a gesture')

        # The first click starts the sound and still presses Start.
        browser.click(*START)
        tiles = wait_until(lambda: (lambda p: all(p) and p)([find_tile(browser.picture(), c) for c in range(3)]),
                           30, 'Start to deal the three tiles')
        self.assertEqual(browser.driver.execute_script('return Module.SDL2.audioContext.state'), 'running')
        board = browser.picture()
        for x, y in tiles:
            browser.click(x, y)
            time.sleep(0.15)

        previous = [board]

        def record_window_still():
            now = browser.picture()
            still = changed_share(previous[0], now) < 0.005 and changed_share(board, now) > 0.05
            previous[0] = now
            return still
        wait_until(record_window_still, 30, 'the solved board to ask for a name')
        # Letters beyond a US keyboard's, as another layout gives them.
        name = 'Zoë Müller'.encode()
        browser.type(name.decode())
        time.sleep(0.3)
        browser.type(Keys.RETURN)

        def stored_record():
            record = browser.stored_file(folder, 'DATA/qbhs.dat')
            return record is not None and len(record) == len(name) + 1 + 4 and record
        record = bytes(wait_until(stored_record, 20, 'the best result in IndexedDB'))
        # The name, its terminating zero, the time in seconds.
        self.assertEqual(record[:len(name) + 1], name + b'\0')
        seconds = struct.unpack('<f', record[len(name) + 1:])[0]
        self.assertTrue(0 < seconds < 120, seconds)

        # A reload and a new browser on the same profile both show it.
        time.sleep(0.5)
        browser.driver.refresh()
        wait_until(browser.started, 60, 'the reloaded page to start')
        reloaded = self.still_picture(browser, 'the reloaded main window')
        self.assertGreater(changed_share(first, reloaded, RECORD_PANEL, 2), 0.005, 'the panel shows the record')
        self.assertEqual(bytes(browser.read_file(folder + '/DATA/qbhs.dat')), record)
        self.assertEqual(browser.errors(), [])
        browser.quit()
        self.browsers.remove(browser)

        browser = self.browser()
        self.open(browser, 'quble')
        restarted = self.still_picture(browser, 'the main window after a browser restart')
        self.assertEqual(bytes(browser.read_file(folder + '/DATA/qbhs.dat')), record)
        self.assertLess(changed_share(reloaded, restarted, RECORD_PANEL, 2), 0.005, 'the same record shows')

        # Exit ends the program: the page says so and the log is complete.
        browser.click(*EXIT)
        wait_until(lambda: browser.driver.find_element(By.ID, 'message').is_displayed(), 20, 'the end message')
        log = wait_until(lambda: browser.stored_file(folder, 'gamelog.txt'), 20, 'the stored log')
        self.assertIn(b'End of log.', bytes(log))
        self.assertEqual(browser.errors(), [])

    def test_the_runner_demo_and_the_gui_gallery_draw_and_animate(self):
        for name in ('runner-demo', 'gui-gallery'):
            with self.subTest(page=name):
                self.add_page(name)
                browser = self.browser(name)
                self.open(browser, name)
                first = self.assert_draws(browser, 'the %s picture' % name)
                wait_until(lambda: changed_share(first, browser.picture()) > 0.001, 20, '%s to animate' % name)
                self.assertEqual(browser.errors(), [])


    def test_every_technique_draws_the_desktops_reference_picture(self):
        data = os.path.join(self.scratch, 'techniques', 'DATA')
        shutil.copytree(os.path.join(SOURCE, 'tests', 'web', 'techniques', 'DATA'), data)
        reference_texture().save(os.path.join(data, 'art', 'reference.png'))
        for pack, source in (('game', 'DATA'), ('gallery', 'tools/gui-gallery/DATA'),
                             ('demo', 'tools/runner-demo/DATA')):
            shutil.copy(os.path.join(SOURCE, source, 'art', 'techniques.xml'),
                        os.path.join(data, 'art', pack + '.xml'))
        self.add_runner_page('techniques', data)
        browser = self.browser()
        self.open(browser, 'techniques')
        # The page at the picture's own size, so its pixels are the canvas's.
        viewport = browser.driver.execute_script('return [window.innerWidth, window.innerHeight]')
        size = browser.driver.get_window_size()
        browser.driver.set_window_size(size['width'] + 800 - viewport[0], size['height'] + 600 - viewport[1])
        wait_until(lambda: browser.canvas().size == {'width': 800, 'height': 600}, 10, 'the canvas at 800x600')

        reference = Image.open(os.path.join(SOURCE, 'tests', 'gl', 'reference', 'techniques.png')).convert('RGB')
        problems = []

        def matches():
            problems[:] = compare_with_reference(reference, browser.picture())
            return not problems
        try:
            wait_until(matches, 20, 'the reference picture')
        except AssertionError:
            self.fail('the page differs from the reference: ' + '; '.join(problems))
        self.assertEqual(browser.errors(), [])

    def test_a_fatal_error_shows_its_message_on_the_page_and_its_report_in_the_console(self):
        # A script's bad call (an exception thrown through Lua's error jump),
        # and a music module that libopenmpt refuses (its own exceptions).
        cases = {
            'script': ({'main.lua': 'function main()\n  V2D_SYS_UpdateAllSystems()\n'
                                    '  V2D_GFX_VQuadSetPos("left", 0, 1, 1)\nend\n'},
                       '', 'V2D_GFX_VQuadSetPos'),
            'module': ({'main.lua': 'function main()\n  V2D_SYS_UpdateAllSystems()\nend\n',
                        'junk.xm': 'Extended Module: ' + 'not a module ' * 64},
                       '<r id="MUS_JUNK" typeid="MUSIC" filename="junk.xm" tag="1" data1="1"/>',
                       'Cannot load music!'),
        }
        for name, (files, resources, words) in cases.items():
            with self.subTest(case=name):
                data = os.path.join(self.scratch, name, 'DATA')
                os.makedirs(data)
                with open(os.path.join(data, 'res.xml'), 'w') as f:
                    f.write('<respack>%s<r id="SCR_MAIN" typeid="SCRIPT" filename="main.lua" tag="1"/>'
                            '</respack>' % resources)
                for file_name, text in files.items():
                    with open(os.path.join(data, file_name), 'w') as f:
                        f.write(text)
                self.add_runner_page(name, data)
                browser = self.browser(name)
                browser.driver.get('http://127.0.0.1:%d/%s/' % (self.port, name))
                message = browser.driver.find_element(By.ID, 'message')
                wait_until(message.is_displayed, 60, 'the message on the page')
                self.assertIn(words, message.text)
                self.assertIn('status 1', message.text)
                console = '\n'.join(browser.errors())
                self.assertIn('Fatal error:', console)
                self.assertIn(words, console)
                report = wait_until(lambda: browser.stored_file('/home/web_user/.local/share/' + name, 'ehslog.txt'),
                                    20, 'the stored report')
                self.assertIn(words.encode(), bytes(report))


    def test_a_trap_of_the_webassembly_machine_is_reported_with_the_desktops_fault_code(self):
        self.add_page('runner-demo')
        browser = self.browser()
        self.open(browser, 'runner-demo')
        self.assert_draws(browser, 'the runner demo')
        # What the browser raises when the program divides an integer by zero.
        browser.driver.execute_script(
            "window.dispatchEvent(new ErrorEvent('error', "
            "{error: new WebAssembly.RuntimeError('divide by zero')}))")
        message = browser.driver.find_element(By.ID, 'message')
        wait_until(message.is_displayed, 20, 'the message on the page')
        self.assertIn('divide by zero', message.text)
        report = wait_until(lambda: browser.stored_file('/home/web_user/.local/share/runner-demo', 'ehslog.txt'),
                            20, 'the stored report')
        self.assertIn(b'Divide by zero (int).', bytes(report))


    def test_without_webgl2_the_page_says_so_and_loads_nothing(self):
        self.add_page('quble')
        browser = self.browser(extra_arguments=('--disable-webgl2',))
        browser.driver.get('http://127.0.0.1:%d/quble/' % self.port)
        message = browser.driver.find_element(By.ID, 'message')
        wait_until(message.is_displayed, 20, 'the message on the page')
        self.assertIn('WebGL 2', message.text)
        self.assertFalse(browser.driver.execute_script("return typeof Module !== 'undefined'"))


    def test_a_second_page_of_the_site_waits_for_the_first_and_then_says_it_is_open(self):
        self.add_page('quble')
        self.add_page('runner-demo')
        browser = self.browser()
        self.open(browser, 'quble')
        self.assert_draws(browser, 'the game')
        game = browser.driver.current_window_handle
        browser.driver.switch_to.new_window('tab')
        browser.driver.get('http://127.0.0.1:%d/runner-demo/' % self.port)
        message = browser.driver.find_element(By.ID, 'message')
        wait_until(message.is_displayed, 30, 'the message on the second page')
        self.assertIn('another tab', message.text)
        browser.driver.close()
        browser.driver.switch_to.window(game)
        self.assertFalse(browser.driver.find_element(By.ID, 'message').is_displayed(), 'the game goes on')


if __name__ == '__main__':
    PAGES, VELMORPAK, SOURCE = (os.path.abspath(a) for a in sys.argv[1:4])
    unittest.main(argv=sys.argv[:1] + sys.argv[4:], verbosity=2)
