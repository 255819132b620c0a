#!/usr/bin/python3
"""Figures of the game's web page (scripts/build-web.sh) in headless Chromium.

    bench/web_figures.py [PAGES]        (PAGES: build-web/ unless told)

Prints the download sizes (raw and gzip-compressed), the time from opening
the page to its first drawn frame (best and median of three loads, each
with an empty browser profile), and the frames per second and CPU of a
round: Start pressed, 5 seconds counted in the browser's animation frames,
CPU summed over the processes of the benchmark's own browser.
"""
import gzip
import os
import socket
import statistics
import subprocess
import sys
import tempfile
import time

from selenium import webdriver
from selenium.webdriver.common.action_chains import ActionChains
from selenium.webdriver.common.by import By

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
START = (624, 414)

# Counts the animation frames the game waits for; the game draws once per
# animation frame while a round's clock runs.
COUNT_FRAMES = """
window.velmorFrames = 0;
const request = window.requestAnimationFrame.bind(window);
window.requestAnimationFrame = callback => request(time => { window.velmorFrames++; callback(time); });
"""

# The first frame: the canvas holds a picture once the game has drawn.
FIRST_FRAME = """
const done = arguments[0];
const canvas = document.getElementById('canvas');
function look() {
  if (window.Module && Module.calledRun) {
    const probe = document.createElement('canvas');
    probe.width = 80; probe.height = 60;
    const context = probe.getContext('2d');
    context.drawImage(canvas, 0, 0, 80, 60);
    const pixels = context.getImageData(0, 0, 80, 60).data;
    for (let i = 0; i < pixels.length; i += 4)
      if (pixels[i] + pixels[i + 1] + pixels[i + 2] > 60) return done(performance.now());
  }
  requestAnimationFrame(look);
}
look();
"""


def free_port():
    with socket.socket() as s:
        s.bind(('127.0.0.1', 0))
        return s.getsockname()[1]


def browser(profile):
    options = webdriver.ChromeOptions()
    for argument in ('--headless=new', '--no-sandbox', '--use-angle=swiftshader', '--enable-unsafe-swiftshader',
                     '--window-size=1024,768', '--user-data-dir=' + profile):
        options.add_argument(argument)
    driver = webdriver.Chrome(options=options)
    driver.set_script_timeout(120)
    return driver


def cpu_seconds_of_tree(root):
    """Processor time of a process and everything it started (this
    benchmark's ChromeDriver and its Chromium), in seconds."""
    tick = os.sysconf('SC_CLK_TCK')
    parents, times = {}, {}
    for pid in os.listdir('/proc'):
        if not pid.isdigit():
            continue
        try:
            with open('/proc/%s/stat' % pid) as f:
                fields = f.read().rsplit(')', 1)[1].split()
        except OSError:
            continue
        parents[int(pid)] = int(fields[1])
        times[int(pid)] = (int(fields[11]) + int(fields[12])) / tick
    tree = {root}
    grown = True
    while grown:
        grown = False
        for pid, parent in parents.items():
            if parent in tree and pid not in tree:
                tree.add(pid)
                grown = True
    return sum(times.get(pid, 0.0) for pid in tree)


def sizes(page):
    print('Download sizes (%s):' % page)
    raw_total = packed_total = 0
    for name in sorted(os.listdir(page)):
        with open(os.path.join(page, name), 'rb') as f:
            data = f.read()
        packed = len(gzip.compress(data, 9))
        raw_total += len(data)
        packed_total += packed
        print('  %-16s %10d bytes  %10d gzip' % (name, len(data), packed))
    print('  %-16s %10d bytes  %10d gzip' % ('total', raw_total, packed_total))


def first_frame_ms(url, scratch, run):
    driver = browser(os.path.join(scratch, 'profile-%d' % run))
    try:
        driver.get(url)
        return driver.execute_async_script(FIRST_FRAME)
    finally:
        driver.quit()


def round_figures(url, scratch):
    driver = browser(os.path.join(scratch, 'profile-round'))
    try:
        driver.execute_cdp_cmd('Page.addScriptToEvaluateOnNewDocument', {'source': COUNT_FRAMES})
        driver.get(url)
        driver.execute_async_script(FIRST_FRAME)
        canvas = driver.find_element(By.ID, 'canvas')
        width, height = canvas.size['width'], canvas.size['height']
        ActionChains(driver).move_to_element_with_offset(
            canvas, int(START[0] * width / 800 - width / 2), int(START[1] * height / 600 - height / 2)).click().perform()
        time.sleep(1)
        root = driver.service.process.pid
        frames, cpu, clock = driver.execute_script('return velmorFrames'), cpu_seconds_of_tree(root), time.monotonic()
        time.sleep(5)
        frames = driver.execute_script('return velmorFrames') - frames
        cpu, clock = cpu_seconds_of_tree(root) - cpu, time.monotonic() - clock
        return frames / clock, 100 * cpu / clock
    finally:
        driver.quit()


def main():
    pages = os.path.abspath(sys.argv[1] if len(sys.argv) > 1 else os.path.join(ROOT, 'build-web'))
    sizes(os.path.join(pages, 'quble'))
    port = free_port()
    server = subprocess.Popen(['bash', os.path.join(ROOT, 'scripts', 'serve-web.sh'), '--port', str(port),
                               '--root', pages], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    try:
        time.sleep(1)
        url = 'http://127.0.0.1:%d/quble/' % port
        with tempfile.TemporaryDirectory(prefix='velmor-web-figures-') as scratch:
            times = [first_frame_ms(url, scratch, run) for run in range(3)]
            print('First frame after opening the page: best %.0f ms, median %.0f ms (%s)' %
                  (min(times), statistics.median(times), ', '.join('%.0f' % t for t in times)))
            fps, cpu = round_figures(url, scratch)
            print('A round, 5 s: %.1f frames/s, Chromium CPU %.0f%% of one core' % (fps, cpu))
        with open('/proc/cpuinfo') as f:
            model = next((line.split(':', 1)[1].strip() for line in f if line.startswith('model name')), '?')
        print('Machine: %s, %d cores; load %s' % (model, os.cpu_count(), open('/proc/loadavg').read().split()[0]))
    finally:
        server.terminate()
        server.wait()


if __name__ == '__main__':
    main()
