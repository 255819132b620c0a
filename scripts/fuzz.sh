#!/usr/bin/env bash
# Builds the libFuzzer targets (XML reader, pack directory reader, image
# decoders, GUI data) with clang and AddressSanitizer into build-fuzz/ (or
# $FUZZ_BUILD_DIR) and runs each one
# for FUZZ_SECONDS seconds (default 30), starting from its seed corpus in
# tests/fuzz/corpus/. New interesting inputs collect in build-fuzz/fuzz/;
# a crash leaves its input there as crash-* and ends the script with an error.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds="${FUZZ_SECONDS:-30}"
dir="${FUZZ_BUILD_DIR:-build-fuzz}"
flags="-fsanitize=address,fuzzer-no-link -fno-omit-frame-pointer"
CC=clang CXX=clang++ cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVELMOR_BUILD_BENCH=OFF \
  -DCMAKE_C_FLAGS="$flags" -DCMAKE_CXX_FLAGS="$flags" -DCMAKE_EXE_LINKER_FLAGS="-fsanitize=address"
cmake --build "$dir" -j2 --target fuzz_xml fuzz_pak fuzz_image fuzz_gui
for target in xml pak image gui; do
  work="$dir/fuzz/corpus-$target"
  mkdir -p "$work"
  echo "== fuzz_$target for ${seconds}s"
  "$dir/fuzz/fuzz_$target" -max_total_time="$seconds" -max_len=65536 -timeout=10 -rss_limit_mb=2048 \
    -artifact_prefix="$dir/fuzz/" "$work" "tests/fuzz/corpus/$target"
done
