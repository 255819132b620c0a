#!/usr/bin/python3
# Counts the frames the X server shows in a window over some seconds: each
# time the window's contents change after the count last looked (the DAMAGE
# extension reports when its region stops being empty), one frame. Drawing
# requests less than 2 ms apart count as one frame, so a frame handed over in
# several rectangles counts once.
#   x_frames.py WINDOW-ID SECONDS  -> prints the frames counted
import select
import sys
import time

from Xlib import X, display
from Xlib.ext import damage


def main():
    window_id, seconds = int(sys.argv[1], 0), float(sys.argv[2])
    d = display.Display()
    if not d.has_extension("DAMAGE"):
        sys.exit("the X server has no DAMAGE extension")
    d.damage_query_version()
    notify = d.query_extension("DAMAGE").first_event + damage.DamageNotifyCode
    window = d.create_resource_object("window", window_id)
    watch = window.damage_create(damage.DamageReportNonEmpty)
    d.sync()
    frames = 0
    end = time.monotonic() + seconds
    while True:
        left = end - time.monotonic()
        if left <= 0:
            break
        if d.pending_events() == 0:
            select.select([d], [], [], left)
        while d.pending_events() > 0:
            event = d.next_event()
            if event.type == notify:
                frames += 1
                time.sleep(0.002)
                d.damage_subtract(watch)
                d.sync()
    print(frames)


main()
