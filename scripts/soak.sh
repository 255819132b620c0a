#!/usr/bin/env bash
# The long monkey soak of the whole game on the headless platform: builds
# the soak program and runs it for SOAK_FRAMES frames (default 100000) with
# the random stream of SOAK_SEED. It prints frames per second, rounds,
# records and the resident-memory curve, and fails on any fault it found.
set -euo pipefail
cd "$(dirname "$0")/.."
dir="${SOAK_BUILD:-build}"
launcher=()
if command -v ccache > /dev/null; then
  export CCACHE_BASEDIR="$PWD" CCACHE_NOHASHDIR=1
  launcher=(-DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
fi
cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo "${launcher[@]}" > /dev/null
cmake --build "$dir" -j"$(nproc)" --target soak_game > /dev/null
"$dir/bench/soak_game" "${SOAK_FRAMES:-100000}" "${SOAK_SEED:-20261208}"
