#!/usr/bin/env bash
# Configures and builds into build/ (or the folder given as $1 with extra
# CMake arguments after it; arguments after "--" go to the build step, such
# as "-- --target velmor_unit_tests"). ccache, when installed, keeps compiled
# objects between builds and between clones of the repository.
set -euo pipefail
cd "$(dirname "$0")/.."
dir="${1:-build}"
shift || true
configure=()
build=()
while [ $# -gt 0 ]; do
  if [ "$1" = "--" ]; then
    shift
    build=("$@")
    break
  fi
  configure+=("$1")
  shift
done
launcher=()
if command -v ccache > /dev/null; then
  export CCACHE_BASEDIR="$PWD" CCACHE_NOHASHDIR=1
  launcher=(-DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
fi
cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo "${launcher[@]}" "${configure[@]}"
cmake --build "$dir" -j"$(nproc)" "${build[@]}"
