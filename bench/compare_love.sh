#!/usr/bin/env bash
# Velmor2D and LÖVE side by side on one display, each figure as a ratio
# (how many times faster Velmor2D is; above 1 it leads). Both draw into an
# 800x600 window (LÖVE's is one; the script runner is given --windowed), and
# every figure is the best of three runs, Velmor2D's and LÖVE's taken in turn
# so that a busy moment of the machine falls on both alike:
#  - textured, coloured quads at 16x16 and 2x2: 1 000 a frame on the native
#    path against LÖVE's draw mode, 10 000 a frame on the native and the
#    script path against the faster of LÖVE's draw and batch modes;
#  - start-up: a script that only clears, from process start to its 2nd
#    shown frame and exit, on this display and on an 800x600 one (the runner
#    full screen shown beside, for information);
#  - last what a round of the game costs (bench/round_cost.sh).
# A benchmark helper only: it needs `love` (11.x) on the PATH and a display.
#   xvfb-run -a -s "-noreset -screen 0 1024x768x24" bash bench/compare_love.sh [build-dir] [love-quads-dir]
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
build="$(cd "${1:-$here/../build}" && pwd)"
peer="$(cd "${2:-$here/../../shared/peers/love-quads}" && pwd)"
command -v love >/dev/null || { echo "love is not installed" >&2; exit 1; }
[ -f "$peer/main.lua" ] || { echo "no LÖVE quads script in $peer" >&2; exit 1; }
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
echo "load average: $(cut -d' ' -f1-3 /proc/loadavg)"
echo "processor: $(sed -n 's/^model name[^:]*: //p' /proc/cpuinfo | head -1), $(nproc) cores"

love_quads() {  # quads mode size frames -> frames/s
    QUADS=$1 MODE=$2 SIZE=$3 FRAMES=$4 OUT="$work/love.txt" SDL_AUDIODRIVER=dummy timeout 120 love "$peer" >/dev/null 2>&1
    sed -n 's/.*frames\/s=\([0-9.]*\).*/\1/p' "$work/love.txt"
}

native_quads() {  # size -> frames/s of 1 000 and of 10 000 quads a frame on the OpenGL device
    QUAD_SIZE=$1 "$build/bench/bench_gfx_quads" |
        awk '/^OpenGL device/ { gl = 1 } gl && $2 == "quads/frame:" { f[$1] = $3 } END { print f[1000], f[10000] }'
}

script_quads() {  # size -> frames/s of 10 000 quads a frame
    QUAD_SIZE=$1 bash "$here/run_script_quads.sh" "$build" --windowed | sed -n 's/.* \([0-9.]*\) frames\/s.*/\1/p'
}

max() { awk -v a="${1:-0}" -v b="${2:-0}" 'BEGIN { print (a + 0 > b + 0 ? a : b) }'; }

ratio() {  # label velmor peer (frames/s)
    awk -v l="$1" -v v="$2" -v p="$3" 'BEGIN { printf "%-40s Velmor2D %8.1f frames/s, LÖVE %8.1f: %.2fx\n", l, v, p, v / p }'
}

echo "== quads (frames/s, best of three; ratio = Velmor2D / LÖVE)"
for size in 16 2; do
    n1k=0 n10k=0 s10k=0 l1k=0 ldraw=0 lbatch=0
    for run in 1 2 3; do
        read -r a b <<<"$(native_quads $size)"
        n1k="$(max "$n1k" "$a")" n10k="$(max "$n10k" "$b")"
        [ "$size" = 16 ] && l1k="$(max "$l1k" "$(love_quads 1000 draw 16 600)")"
        s10k="$(max "$s10k" "$(script_quads $size)")"
        ldraw="$(max "$ldraw" "$(love_quads 10000 draw $size 100)")"
        lbatch="$(max "$lbatch" "$(love_quads 10000 batch $size 100)")"
    done
    [ "$size" = 16 ] && ratio "1 000 of 16 px, native vs draw" "$n1k" "$l1k"
    best="$(max "$ldraw" "$lbatch")"
    echo "LÖVE 10 000 of $size px: draw $ldraw, batch $lbatch frames/s"
    ratio "10 000 of $size px, native vs LÖVE's best" "$n10k" "$best"
    ratio "10 000 of $size px, script vs LÖVE's best" "$s10k" "$best"
done

# Start-up, in milliseconds from process start to exit. The script clears
# two different frames (the device skips a frame that repeats the last one)
# and ends after the second is shown; LÖVE's script does the same
# (bench/startup/love, vsync off). bench_startup is the runner without the
# 60 frames/s cap, as LÖVE runs here. A script of its own, so that a second
# X server can run it too.
cp -r "$here/startup/DATA" "$work/"
cat >"$work/startup_runs.sh" <<RUNS
cd "$work"
ms() { local s=\$EPOCHREALTIME; SDL_AUDIODRIVER=dummy timeout 60 "\$@" >/dev/null 2>&1 || return 1; local e=\$EPOCHREALTIME; echo \$(( (\${e/./} - \${s/./}) / 1000 )); }
best() { printf '%s\n' "\$@" | sort -n | head -1; }
v=(); p=(); f=()
for i in 1 2 3; do
    v+=("\$(ms "$build/bench/bench_startup" --windowed)") && p+=("\$(ms love "$here/startup/love")") &&
        f+=("\$(ms "$build/bench/bench_startup" --fullscreen)") || { echo "a start-up run failed" >&2; exit 1; }
done
echo "  Velmor2D, 800x600 window: \${v[*]} -> best \$(best "\${v[@]}") ms"
echo "  LÖVE, 800x600 window:     \${p[*]} -> best \$(best "\${p[@]}") ms"
echo "  Velmor2D, full screen:    \${f[*]} -> best \$(best "\${f[@]}") ms"
awk -v v="\$(best "\${v[@]}")" -v p="\$(best "\${p[@]}")" -v f="\$(best "\${f[@]}")" \\
    'BEGIN { printf "  start-up ratio LÖVE / Velmor2D: %.2fx (Velmor2D full screen: %.2fx)\n", p / v, p / f }'
RUNS

screen="$(xdpyinfo 2>/dev/null | awk '/dimensions:/ { print $2; exit }' || true)"
echo "== start-up: process start to the 2nd shown frame and exit (ms, three runs each, in turn)"
echo "-- on this display (${screen:-size unknown})"
bash "$work/startup_runs.sh" 2>&1
if command -v xvfb-run >/dev/null; then
    echo "-- on an 800x600 screen"
    xvfb-run -a -s "-noreset -screen 0 800x600x24" bash "$work/startup_runs.sh" 2>&1
fi

echo "== a round of the game in progress (its own 1024x768 X server)"
bash "$here/round_cost.sh" "$build"
