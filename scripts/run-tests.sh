#!/usr/bin/env bash
# Installs what is needed, builds, and runs every test: the full suite under a
# virtual X server (the GL tests need one), then the unit tests again with
# AddressSanitizer and UndefinedBehaviorSanitizer.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh

bash scripts/build.sh build
# Here a display is promised: a GL or e2e test that would skip for want of
# one (or of xdotool) fails instead, and any test ctest reports as skipped
# fails the run. -noreset: an X server that resets when its last client
# leaves refuses connections meanwhile, and a test starting then would find
# no display.
log="$(mktemp)"
trap 'rm -f "$log"' EXIT
(cd build && VELMOR_REQUIRE_DISPLAY=1 xvfb-run -a -s "-noreset -screen 0 1024x768x24" \
  ctest --output-on-failure -j"$(nproc)") | tee "$log"
if grep -E '\(Skipped\)|\*\*\*Skipped|Not Run' "$log" >/dev/null; then
  echo "Tests were skipped although the run has a display:" >&2
  grep -E '\(Skipped\)|\*\*\*Skipped|Not Run' "$log" >&2
  exit 1
fi

bash scripts/build.sh build-asan -DVELMOR_SANITIZE=ON -DVELMOR_BUILD_BENCH=OFF
(cd build-asan && ASAN_OPTIONS=detect_leaks=1 ctest --output-on-failure -j"$(nproc)" -L unit)
