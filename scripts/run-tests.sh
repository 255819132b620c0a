#!/usr/bin/env bash
# Installs what is needed, builds, and runs every test: the full suite under a
# virtual X server (the GL tests need one), then the unit tests again with
# AddressSanitizer and UndefinedBehaviorSanitizer.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh

bash scripts/build.sh build
(cd build && xvfb-run -a -s "-screen 0 1024x768x24" ctest --output-on-failure -j"$(nproc)")

bash scripts/build.sh build-asan -DVELMOR_SANITIZE=ON -DVELMOR_BUILD_BENCH=OFF
(cd build-asan && ASAN_OPTIONS=detect_leaks=1 ctest --output-on-failure -j"$(nproc)" -L unit)
