#!/usr/bin/env bash
# The Debian package: cpack makes quble_<version>_amd64.deb with its library
# dependencies computed from the binaries; unpacked into a scratch root with
# dpkg -x, the installed game started from an empty folder opens its main
# window under the X server, runs in its per-user folder, and stops cleanly
# when told to quit.
#   check_package.sh BUILD_DIR VERSION
# Exit status 77 (skipped) without an X server.
set -euo pipefail
build="$1" version="$2"
[ -n "${DISPLAY:-}" ] || { echo "needs an X server (run under xvfb-run)"; exit 77; }
scratch="$(mktemp -d /tmp/quble-package-XXXXXX)"
game_pid=""
cleanup() {
  [ -n "$game_pid" ] && kill -KILL "$game_pid" 2>/dev/null || true
  rm -rf "$scratch"
}
trap cleanup EXIT
fail() { echo "FAIL: $*" >&2; [ -f "$scratch/xdg/quble/gamelog.txt" ] && tail -40 "$scratch/xdg/quble/gamelog.txt" >&2; exit 1; }

(cd "$scratch" && cpack -G DEB --config "$build/CPackConfig.cmake" -B "$scratch/out" >/dev/null)
deb="$scratch/out/quble_${version}_amd64.deb"
[ -f "$deb" ] || fail "cpack made no $(basename "$deb")"
[ "$(dpkg-deb -f "$deb" Package)" = quble ] || fail "package name"
[ "$(dpkg-deb -f "$deb" Architecture)" = amd64 ] || fail "architecture"
depends="$(dpkg-deb -f "$deb" Depends)"
for library in libsdl2-2.0-0 liblua5.1-0 libsndfile1 libopenmpt0 libpng16-16 libgl1; do
  grep -q "$library" <<<"$depends" || fail "Depends lacks $library: $depends"
done

dpkg -x "$deb" "$scratch/root"
for file in usr/bin/quble usr/bin/velmor-check usr/share/quble/quble.pak \
            usr/share/applications/io.github.quble.Quble.desktop \
            usr/share/icons/hicolor/256x256/apps/io.github.quble.Quble.png; do
  [ -e "$scratch/root/$file" ] || fail "the package lacks /$file"
done

# Started as the desktop menu starts it: another working folder, no DATA/.
mkdir -p "$scratch/empty"
cd "$scratch/empty"
XDG_DATA_HOME="$scratch/xdg" SDL_AUDIODRIVER=dummy VELMOR_INSTANCE_LOCK="quble-package-test-$$" \
  "$scratch/root/usr/bin/quble" &
game_pid=$!
window=""
for _ in $(seq 1 300); do
  window="$(xdotool search --name '^Quble$' 2>/dev/null | head -n 1 || true)"
  [ -n "$window" ] && break
  kill -0 "$game_pid" 2>/dev/null || fail "the game ended before its window opened"
  sleep 0.1
done
[ -n "$window" ] || fail "no Quble window within 30 seconds"
xwininfo -id "$window" | grep -q "Map State: IsViewable" || fail "the window is not shown"
# Let the start-up reach the main loop before asking the game to stop.
for _ in $(seq 1 100); do
  grep -q "Loading resources with Tag = 8" "$scratch/xdg/quble/gamelog.txt" 2>/dev/null && break
  sleep 0.1
done
sleep 1
kill -0 "$game_pid" 2>/dev/null || fail "the game ended on its own"
kill -TERM "$game_pid"  # reaches the game as the quit event, as closing the window does
status=0
wait "$game_pid" || status=$?
game_pid=""
[ "$status" -eq 0 ] || fail "the game exited with status $status"

log="$scratch/xdg/quble/gamelog.txt"
[ -f "$log" ] || fail "no log in the per-user folder"
grep -q "Resources Subsystem operates in PAK mode." "$log" || fail "the installed pack was not read"
grep -q "!!!" "$log" && fail "the log reports errors"
grep -q -- "--==: End of log." "$log" || fail "the log has no footer"
[ -L "$scratch/xdg/quble/DATA/quble.pak" ] || fail "the per-user DATA/ does not link the installed pack"
[ -z "$(ls -A "$scratch/empty")" ] || fail "the game wrote into the folder it was started from"
echo "package OK"
