#!/usr/bin/env bash
# Builds the web pages (the game, the runner demo, the GUI gallery) and runs
# their tests in headless Chromium (CTest label "web").
set -euo pipefail
cd "$(dirname "$0")/.."
root="$PWD"
bash scripts/install-deps.sh
bash scripts/build-web.sh
bash scripts/build-web.sh tools/runner-demo
bash scripts/build-web.sh tools/gui-gallery
bash scripts/build.sh build -DVELMOR_WEB_PAGES="$root/build-web" -- --target velmorpak
cd build
ctest --output-on-failure --no-tests=error -L web
