#!/usr/bin/env bash
# Installs what is needed, builds, and runs every test: the full suite under a
# virtual X server (the GL tests need one); the GL tests on OpenGL ES; every
# label again with AddressSanitizer and UndefinedBehaviorSanitizer; the audio
# and sound tests with ThreadSanitizer; a short game session under valgrind's
# memcheck; the Windows build with its tests under Wine; and the web pages in
# headless Chromium.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
root="$PWD"

# -noreset: an X server that resets when its last client leaves refuses
# connections meanwhile, and a test starting then would find no display.
xvfb=(xvfb-run -a -s "-noreset -screen 0 1024x768x24")
log="$(mktemp)"
trap 'rm -f "$log"' EXIT

# Runs a test command in the build folder $1. Here a display is promised: a
# GL or e2e test that would skip for want of one (or of xdotool) fails
# instead, and any test ctest reports as skipped fails the run.
run_tests() {
  local dir="$1"
  shift
  (cd "$dir" && VELMOR_REQUIRE_DISPLAY=1 "$@") | tee "$log"
  if grep -E '\(Skipped\)|\*\*\*Skipped|Not Run' "$log" > /dev/null; then
    echo "Tests were skipped although the run has a display:" >&2
    grep -E '\(Skipped\)|\*\*\*Skipped|Not Run' "$log" >&2
    exit 1
  fi
}
# A label or filter that matches no test fails the run instead of passing it.
ctest=(ctest --output-on-failure --no-tests=error -j"$(nproc)")

bash scripts/build.sh build
run_tests build "${xvfb[@]}" "${ctest[@]}" -LE 'shuffle|windows|web'
# Drawing only what changed, again through EGL, where Mesa's windows are
# handed whole frames by swaps instead of parts by copies.
run_tests build "${xvfb[@]}" env SDL_VIDEO_X11_FORCE_EGL=1 "${ctest[@]}" -R DamageFrames
# Each unit test program whole, its tests in a random order (the seed is in
# the output), so that state leaking from one test into another is seen.
run_tests build "${ctest[@]}" -L shuffle

# The GL tests again on the device's OpenGL ES 3.0 (WebGL 2) dialect, on
# Mesa's ES contexts.
bash scripts/build.sh build-gles -DVELMOR_GL_ES=ON -DVELMOR_BUILD_BENCH=OFF -- --target velmor_gl_tests
run_tests build-gles "${xvfb[@]}" "${ctest[@]}" -L gl

# AddressSanitizer + UndefinedBehaviorSanitizer on every label. Leaks of the
# system's libraries are suppressed by tests/lsan.supp, for the tests and the
# programs they start. Mesa's software GL driver is loaded from the start
# and so never unloaded: its caches stay reachable from its own globals
# instead of turning into leaks of a nameless library when the GL client
# closes the display (ASan then cannot be the first library loaded).
bash scripts/build.sh build-asan -DVELMOR_SANITIZE=ON -DVELMOR_BUILD_BENCH=OFF
# The list of suppressions used stays off standard error, which tests read.
export LSAN_OPTIONS="suppressions=$root/tests/lsan.supp:print_suppressions=0"
run_tests build-asan env ASAN_OPTIONS=detect_leaks=1 "${ctest[@]}" -L unit
mesa_driver="$(ls /usr/lib/*/dri/swrast_dri.so 2> /dev/null | head -n 1 || true)"
run_tests build-asan env ASAN_OPTIONS=detect_leaks=1:verify_asan_link_order=0 "${xvfb[@]}" \
  env ${mesa_driver:+LD_PRELOAD="$mesa_driver"} "${ctest[@]}" -L 'gl|e2e'
unset LSAN_OPTIONS

# ThreadSanitizer: SDL's audio thread mixing while the game thread calls the
# audio layer. Only the audio test program is built there.
bash scripts/build.sh build-tsan -DVELMOR_SANITIZE_THREAD=ON -DVELMOR_BUILD_BENCH=OFF \
  -- --target velmor_audio_tsan_tests
run_tests build-tsan env TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1" "${ctest[@]}" -L tsan

# A short game session under memcheck: no invalid access, no definite leak.
bash scripts/valgrind-session.sh build

# The Windows build, its tests under Wine, its zip and installer.
bash scripts/run-windows-tests.sh

# The web pages, their tests in headless Chromium.
bash scripts/run-web-tests.sh
