#!/usr/bin/env bash
# Builds the libFuzzer targets (XML reader, pack directory reader, image
# decoders, GUI data, technique packs, font descriptions, XML variables,
# playlists, the best-result file, audio files) with clang and
# AddressSanitizer into build-fuzz/ (or $FUZZ_BUILD_DIR) and runs each one
# (or those FUZZ_TARGETS names, e.g. "font audio") for FUZZ_SECONDS seconds
# (default 30), starting from its seed corpus in
# tests/fuzz/corpus/. New interesting inputs collect in build-fuzz/fuzz/;
# a crash leaves its input there as crash-* and ends the script with an error.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds="${FUZZ_SECONDS:-30}"
dir="${FUZZ_BUILD_DIR:-build-fuzz}"
flags="-fsanitize=address,fuzzer-no-link -fno-omit-frame-pointer"
launcher=()
if command -v ccache > /dev/null; then
  export CCACHE_BASEDIR="$PWD" CCACHE_NOHASHDIR=1
  launcher=(-DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
fi
CC=clang CXX=clang++ cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVELMOR_BUILD_BENCH=OFF "${launcher[@]}" \
  -DCMAKE_C_FLAGS="$flags" -DCMAKE_CXX_FLAGS="$flags" -DCMAKE_EXE_LINKER_FLAGS="-fsanitize=address"
# The same system-library leaks the tests suppress (damaged Ogg Vorbis data).
export LSAN_OPTIONS="suppressions=$PWD/tests/lsan.supp${LSAN_OPTIONS:+:$LSAN_OPTIONS}"
targets="${FUZZ_TARGETS:-xml pak image gui technique font xmldata playlist highscore audio}"
cmake --build "$dir" -j2 --target $(printf 'fuzz_%s ' $targets)
for target in $targets; do
  work="$dir/fuzz/corpus-$target"
  mkdir -p "$work"
  echo "== fuzz_$target for ${seconds}s"
  "$dir/fuzz/fuzz_$target" -max_total_time="$seconds" -max_len=65536 -timeout=10 -rss_limit_mb=2048 \
    -artifact_prefix="$dir/fuzz/" "$work" "tests/fuzz/corpus/$target"
done
