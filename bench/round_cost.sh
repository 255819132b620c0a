#!/usr/bin/env bash
# What a round in progress costs, measured as a player would see it: the game
# full screen on an X server of its own (Xvfb, 1024x768), Start pressed, then
# over 5 s the frames the X server shows in the game's window (DAMAGE
# extension, bench/x_frames.py) and the processor time of the game's process
# (/proc/PID/stat) in percent of one core. Prints the machine's load average
# beside the figures: on a busy machine they are worth little.
#   bash bench/round_cost.sh [build-dir] [seconds]
# ROUND_COST_SHOT=file.png saves the screen as the measurement starts (to
# see that the round runs).
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
build="$(cd "${1:-$here/../build}" && pwd)"
seconds="${2:-5}"
if [ -z "${ROUND_COST_INNER:-}" ]; then
    exec env ROUND_COST_INNER=1 xvfb-run -a -s "-noreset -screen 0 1024x768x24" bash "$0" "$build" "$seconds"
fi
work="$(mktemp -d)"
pid=""
cleanup() {
    if [ -n "$pid" ]; then kill "$pid" 2>/dev/null || true; wait "$pid" 2>/dev/null || true; fi
    rm -rf "$work"
}
trap cleanup EXIT

cp -r "$here/../DATA" "$work/DATA"
rm -f "$work/DATA/qbhs.dat"
(cd "$work" && exec env SDL_AUDIODRIVER=dummy "$build/quble") &
pid=$!
wid=""
for _ in $(seq 200); do
    wid="$(xdotool search --onlyvisible --pid "$pid" 2>/dev/null | head -1 || true)"
    [ -n "$wid" ] && break
    kill -0 "$pid" 2>/dev/null || { echo "the game ended at once" >&2; exit 1; }
    sleep 0.1
done
[ -n "$wid" ] || { echo "no game window" >&2; exit 1; }

# The main window fades in and takes clicks only then. Its Start button is
# at (624, 414) of the 800x600 picture, which fills the 1024x768 screen.
sleep 4
eval "$(xdotool getwindowgeometry --shell "$wid")"
scale="$(awk -v w="$WIDTH" -v h="$HEIGHT" 'BEGIN { s = w / 800; if (h / 600 < s) s = h / 600; print s }')"
sx="$(awk -v w="$WIDTH" -v s="$scale" -v x="$X" 'BEGIN { printf "%d", x + (w - 800 * s) / 2 + 624 * s }')"
sy="$(awk -v h="$HEIGHT" -v s="$scale" -v y="$Y" 'BEGIN { printf "%d", y + (h - 600 * s) / 2 + 414 * s }')"
xdotool mousemove "$sx" "$sy" click 1
# The board's tiles come in; the round runs after that.
sleep 2
[ -n "${ROUND_COST_SHOT:-}" ] && import -window root "$ROUND_COST_SHOT"

hz="$(getconf CLK_TCK)"
cpu_before="$(awk '{print $14 + $15}' "/proc/$pid/stat")"
frames="$(/usr/bin/python3 "$here/x_frames.py" "$wid" "$seconds")"
cpu_after="$(awk '{print $14 + $15}' "/proc/$pid/stat")"
kill -0 "$pid" 2>/dev/null || { echo "the game ended during the measurement" >&2; exit 1; }
awk -v f="$frames" -v s="$seconds" -v d="$((cpu_after - cpu_before))" -v hz="$hz" \
    'BEGIN { printf "round in progress: %.1f frames/s shown, %.1f%% of one core\n", f / s, d * 100 / (hz * s) }'
echo "load average: $(cut -d' ' -f1-3 /proc/loadavg)"
