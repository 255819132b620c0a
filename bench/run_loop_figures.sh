#!/usr/bin/env bash
# Figures of the main loop on an X server without a window manager, from
# velmor-run's runner demo and two scripts of bench/loop-figures that draw
# its tile field:
#  - processor time of the runner demo with its window focused and with the
#    focus elsewhere, from /proc/PID/stat over 10 s each;
#  - processor time and frame rate of a still screen;
#  - how many of 50 left clicks sent by xdotool 30 ms apart the engine
#    counts, and the frame rate it ran at.
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
    if [ -n "$pid" ]; then kill "$pid" 2>/dev/null || true; wait "$pid" 2>/dev/null || true; fi
    rm -rf "$work"
}
trap cleanup EXIT

# A copy of the runner demo in $work/$1; with a script name, that script of
# bench/loop-figures replaces the demo's.
stage() {
    cp -r "$here/../tools/runner-demo" "$work/$1"
    if [ -n "${2:-}" ]; then
        cp "$here/loop-figures/$2.xml" "$work/$1/DATA/res.xml"
        cp "$here/loop-figures/$2.lua" "$work/$1/DATA/art/$2.lua"
    fi
}

focus() { timeout 5 xdotool windowfocus --sync "$1" || echo "  (could not move the focus)" >&2; }

# Starts the runner in $work/$1, waits for its window and focuses it; sets
# pid and wid.
start_runner() {
    (cd "$work/$1" && exec env SDL_AUDIODRIVER=dummy "$runner") &
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

# Escape ends the script; its figures are then in the log.
stop_runner() {
    focus "$wid"
    xdotool key Escape
    for _ in $(seq 100); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
    kill "$pid" 2>/dev/null || true
    wait "$pid" 2>/dev/null || true
    pid=""
}

# Percent of one core used by the runner over $1 seconds.
cpu_percent() {
    local hz a b
    hz="$(getconf CLK_TCK)"
    a="$(awk '{print $14 + $15}' "/proc/$pid/stat")"
    sleep "$1"
    b="$(awk '{print $14 + $15}' "/proc/$pid/stat")"
    awk -v d="$((b - a))" -v hz="$hz" -v s="$1" 'BEGIN { printf "%.1f", d * 100 / (hz * s) }'
}

# The line of the log of $work/$1 that starts with $2, without that start.
logged() {
    local line
    line="$(grep -o "$2: .*" "$work/$1/gamelog.txt" || true)"
    [ -n "$line" ] || { echo "no figures in the log; it follows" >&2; cat "$work/$1/gamelog.txt" >&2; exit 1; }
    echo "${line#"$2: "}"
}

echo "runner: $runner"
stage demo
start_runner demo
sleep 2
echo "runner demo, window focused:     $(cpu_percent 10)% of a core"
focus "$(xdotool search --maxdepth 0 --name '' | head -1)"
sleep 1
echo "runner demo, focus elsewhere:    $(cpu_percent 10)% of a core"
stop_runner

stage still still
start_runner still
sleep 2
cpu="$(cpu_percent 10)"
stop_runner
echo "still screen:                    $cpu% of a core, $(logged still "still screen")"

stage clicks clicks
start_runner clicks
xdotool mousemove --window "$wid" 400 300
sleep 2
xdotool click --repeat 50 --delay 30 1
sleep 1
stop_runner
echo "50 clicks 30 ms apart:           $(logged clicks "click count")"
