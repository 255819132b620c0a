#!/usr/bin/env bash
# A short game session under valgrind's memcheck on the headless platform:
# the soak program plays VALGRIND_FRAMES frames (default 600) of random input
# with starts, rounds, records, a screenshot, lost focus and devices and a
# restart, in the build folder $1 (default build). Fails on any invalid read
# or write, use of uninitialised memory, bad free, or definite leak.
set -euo pipefail
cd "$(dirname "$0")/.."
dir="${1:-build}"
bash scripts/build.sh "$dir" -- --target soak_game > /dev/null
valgrind --tool=memcheck --error-exitcode=99 --leak-check=full --show-leak-kinds=definite \
  --errors-for-leak-kinds=definite --track-origins=yes --num-callers=30 \
  "$dir/bench/soak_game" "${VALGRIND_FRAMES:-600}" "${VALGRIND_SEED:-20261208}"
