#!/usr/bin/env bash
# Velmor2D and LÖVE side by side on one display, each figure as a ratio
# (how many times faster Velmor2D is; above 1 it leads):
#  - textured, coloured quads at 16x16 and 2x2: 1 000 a frame on the native
#    path against LÖVE's draw mode, 10 000 a frame on the native and the
#    script path against the faster of LÖVE's draw and batch modes;
#  - start-up: a script that only clears, from process start to its 2nd
#    shown frame and exit, best of three runs, on this display and on an
#    800x600 one;
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

love_quads() {  # quads mode size frames -> frames/s
    QUADS=$1 MODE=$2 SIZE=$3 FRAMES=$4 OUT="$work/love.txt" SDL_AUDIODRIVER=dummy timeout 120 love "$peer" >/dev/null 2>&1
    sed -n 's/.*frames\/s=\([0-9.]*\).*/\1/p' "$work/love.txt"
}

native_quads() {  # size quads -> frames/s of the OpenGL device
    QUAD_SIZE=$1 "$build/bench/bench_gfx_quads" |
        awk -v n="$2" '/^OpenGL device/ { gl = 1 } gl && $1 == n && $2 == "quads/frame:" { print $3 }'
}

script_quads() {  # size -> frames/s of 10 000 quads a frame
    QUAD_SIZE=$1 bash "$here/run_script_quads.sh" "$build" | sed -n 's/.* \([0-9.]*\) frames\/s.*/\1/p'
}

ratio() {  # label velmor peer (frames/s)
    awk -v l="$1" -v v="$2" -v p="$3" 'BEGIN { printf "%-40s Velmor2D %8.1f frames/s, LÖVE %8.1f: %.2fx\n", l, v, p, v / p }'
}

echo "== quads (frames/s; ratio = Velmor2D / LÖVE)"
ratio "1 000 of 16 px, native vs draw" "$(native_quads 16 1000)" "$(love_quads 1000 draw 16 600)"
for size in 16 2; do
    draw="$(love_quads 10000 draw $size 100)"
    batch="$(love_quads 10000 batch $size 100)"
    best="$(awk -v a="$draw" -v b="$batch" 'BEGIN { print (a > b ? a : b) }')"
    echo "LÖVE 10 000 of $size px: draw $draw, batch $batch frames/s"
    ratio "10 000 of $size px, native vs LÖVE's best" "$(native_quads $size 10000)" "$best"
    ratio "10 000 of $size px, script vs LÖVE's best" "$(script_quads $size)" "$best"
done

# Start-up, in milliseconds from process start to exit. The script clears
# two different frames (the device skips a frame that repeats the last one)
# and ends after the second is shown; LÖVE's script does the same
# (bench/startup/love, vsync off). bench_startup is velmor-run without the
# 60 frames/s cap, as LÖVE runs here; velmor-run itself, with the cap, is
# shown beside it. A run of a script of its own so that a second X server
# can run it too.
cp -r "$here/startup/DATA" "$work/"
cat >"$work/startup_runs.sh" <<EOF
cd "$work"
ms() { local s=\$EPOCHREALTIME; SDL_AUDIODRIVER=dummy timeout 60 "\$@" >/dev/null 2>&1 || return 1; local e=\$EPOCHREALTIME; echo \$(( (\${e/./} - \${s/./}) / 1000 )); }
best() { local b=""; for i in 1 2 3; do local t; t="\$(ms "\$@")" || { echo "failed: \$*" >&2; exit 1; }; echo -n "\$t " >&2; [ -z "\$b" ] || [ "\$t" -lt "\$b" ] && b=\$t; done; echo "\$b"; }
echo -n "  velmor-run (60 frames/s cap): " >&2; capped="\$(best "$build/velmor-run")"; echo "-> best \$capped ms" >&2
echo -n "  bench_startup (no cap):       " >&2; velmor="\$(best "$build/bench/bench_startup")"; echo "-> best \$velmor ms" >&2
echo -n "  LÖVE (vsync off):             " >&2; peer="\$(best love "$here/startup/love")"; echo "-> best \$peer ms" >&2
awk -v v="\$velmor" -v p="\$peer" -v c="\$capped" 'BEGIN { printf "  start-up ratio LÖVE / Velmor2D: %.2fx (with the cap: %.2fx)\n", p / v, p / c }'
EOF

screen="$(xdpyinfo 2>/dev/null | awk '/dimensions:/ { print $2; exit }' || true)"
echo "== start-up: process start to the 2nd shown frame and exit (ms, three runs each)"
echo "-- on this display (${screen:-size unknown}; the 800x600 picture scaled to it)"
bash "$work/startup_runs.sh" 2>&1
if command -v xvfb-run >/dev/null; then
    echo "-- on an 800x600 screen (full screen at 1:1)"
    xvfb-run -a -s "-noreset -screen 0 800x600x24" bash "$work/startup_runs.sh" 2>&1
fi

echo "== a round of the game in progress (its own 1024x768 X server)"
bash "$here/round_cost.sh" "$build"
