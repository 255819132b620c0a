#!/usr/bin/env bash
# The Windows build's tests: builds the game, its zip and installer and the
# unit tests for Windows (scripts/build-windows.sh), then under Wine on a
# virtual X server runs the unit tests (each program whole in one Wine
# process), the zip's game through a round, and the installer and
# uninstaller. The Wine prefix is made once for the run, in a folder of its
# own, and removed at the end.
set -euo pipefail
cd "$(dirname "$0")/.."
root="$PWD"
bash scripts/build-windows.sh -DVELMOR_BUILD_TESTS=ON
# The Linux-side test program that drives Wine and reads the X server.
bash scripts/build.sh build -DVELMOR_WINDOWS_BUILD="$root/build-windows" -- --target velmor_wine_tests

scratch="$(mktemp -d)"
trap 'WINEPREFIX="$scratch/wine" wineserver -k > /dev/null 2>&1 || true; rm -rf "$scratch"' EXIT
export WINEPREFIX="$scratch/wine" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
export VELMOR_REQUIRE_DISPLAY=1

cat > "$scratch/run.sh" <<'INNER'
set -euo pipefail
# A new prefix asks for nothing with the overrides above; it takes a minute.
wineboot -i > /dev/null 2>&1
wineserver -w
ctest=(ctest --output-on-failure --no-tests=error -L windows)
(cd build-windows/build && "${ctest[@]}")
(cd build && "${ctest[@]}")
INNER
xvfb-run -a -s "-noreset -screen 0 1024x768x24" bash "$scratch/run.sh"
