#!/usr/bin/env bash
# Frames and quads per second of a Lua script that draws 10 000 quads per
# frame through the script runner (velmor-run with the frame cap off) on the
# OpenGL device. Needs a display: run it under
# xvfb-run (Mesa's software renderer) or on a desktop.
#   xvfb-run -a -s "-screen 0 1024x768x24" bash bench/run_script_quads.sh [build-dir] [--windowed | --fullscreen]
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
build="$(cd "${1:-$here/../build}" && pwd)"
display=("${@:2}")  # velmor-run's display options, full screen unless given
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
cp -r "$here/script-quads/DATA" "$work/"
# QUAD_SIZE (pixels, 16 unless given) sets the edge of each quad.
size="${QUAD_SIZE:-16}"
sed -i "s/^local SIZE = 16 /local SIZE = $size /" "$work/DATA/art/quads.lua"
(cd "$work" && SDL_AUDIODRIVER=dummy "$build/bench/bench_script_quads" "${display[@]}")
grep '^script quads:' "$work/gamelog.txt" || { echo "no figures; log follows" >&2; cat "$work/gamelog.txt" >&2; exit 1; }
