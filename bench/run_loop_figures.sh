#!/usr/bin/env bash
# Figures of the main loop on an X server without a window manager:
#  - processor time of velmor-run's runner demo with its window focused and
#    with the focus elsewhere, from /proc/PID/stat over 10 s each;
#  - how many of 50 left clicks sent by xdotool 30 ms apart the engine
#    counts, with the frames per second it ran at (bench/click-count).
# Run it under xvfb-run; give another velmor-run to measure as the second
# argument. Only one copy of the engine runs per network namespace, so on a
# shared machine `unshare -n` keeps other copies out of the way:
#   unshare -n xvfb-run -a -s "-screen 0 1024x768x24" bash bench/run_loop_figures.sh [build-dir] [velmor-run]
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
build="$(cd "${1:-$here/../build}" && pwd)"
runner="$(realpath "${2:-$build/velmor-run}")"
work="$(mktemp -d)"
pid=""
cleanup() {
    [ -n "$pid" ] && kill "$pid" 2>/dev/null && wait "$pid" 2>/dev/null
    rm -rf "$work"
}
trap cleanup EXIT

# Starts the runner in folder $1 and waits for its window; sets pid and wid.
start_runner() {
    (cd "$1" && exec env SDL_AUDIODRIVER=dummy "$runner") &
    pid=$!
    wid=""
    for _ in $(seq 100); do
        wid="$(xdotool search --name "Velmor2D Runner" 2>/dev/null | head -1 || true)"
        [ -n "$wid" ] && break
        kill -0 "$pid" 2>/dev/null || { echo "the runner ended at once (another copy running?)" >&2; exit 1; }
        sleep 0.1
    done
    [ -n "$wid" ] || { echo "no runner window" >&2; exit 1; }
    focus "$wid"
}

focus() { timeout 5 xdotool windowfocus --sync "$1" || echo "  (could not move the focus)" >&2; }

# Percent of one core used by $pid over $1 seconds.
cpu_percent() {
    local hz a b
    hz="$(getconf CLK_TCK)"
    a="$(awk '{print $14 + $15}' "/proc/$pid/stat")"
    sleep "$1"
    b="$(awk '{print $14 + $15}' "/proc/$pid/stat")"
    awk -v d="$((b - a))" -v hz="$hz" -v s="$1" 'BEGIN { printf "%.1f", d * 100 / (hz * s) }'
}

stop_runner() {
    focus "$wid"
    xdotool key Escape
    for _ in $(seq 100); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
    kill "$pid" 2>/dev/null || true
    wait "$pid" 2>/dev/null || true
    pid=""
}

echo "runner: $runner"
cp -r "$here/../tools/runner-demo" "$work/demo"
start_runner "$work/demo"
sleep 2
echo "runner demo, window focused:     $(cpu_percent 10)% of a core"
focus "$(xdotool search --maxdepth 0 --name '' | head -1)"
sleep 1
echo "runner demo, focus elsewhere:    $(cpu_percent 10)% of a core"
stop_runner

cp -r "$here/../tools/runner-demo" "$work/clicks"
cp "$here/click-count/res.xml" "$work/clicks/DATA/res.xml"
cp "$here/click-count/clicks.lua" "$work/clicks/DATA/art/clicks.lua"
start_runner "$work/clicks"
xdotool mousemove --window "$wid" 400 300
sleep 2
xdotool click --repeat 50 --delay 30 1
sleep 1
stop_runner
line="$(grep -o 'click count: .*' "$work/clicks/gamelog.txt" || true)"
[ -n "$line" ] || { echo "no click figures; log follows" >&2; cat "$work/clicks/gamelog.txt" >&2; exit 1; }
echo "50 clicks 30 ms apart, ${line#click count: }"
