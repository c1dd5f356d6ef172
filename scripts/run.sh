#!/usr/bin/env bash
# Runs the panel live in the stand-in terminal, under wine. With a display it stays up until the terminal
# is closed; without one it runs on a virtual display, saves a screenshot and stops.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$root/build

"$root/scripts/setup.sh" "$build"
"$root/scripts/build.sh" "$build"

# shellcheck source=session.sh
source "$root/scripts/session.sh"
trap stop_session EXIT
trap "exit 130" INT TERM

live=0
if [[ -n ${DISPLAY:-} ]] && xdpyinfo >/dev/null 2>&1; then
  live=1
else
  start_display
fi
start_wine "$build/wineprefix"

# The stand-in order service on the panel's two endpoints, then the terminal with its expert.
wine "$build/bin/service.exe" --log "$build/service.log" --endpoint 127.0.0.2:8888 --endpoint 127.0.0.3:8888 \
  >"$build/service.out" 2>&1 &

# The terminal shows three tiled charts and starts a panel on each, as its expert does.
wine "$build/bin/terminal.exe" --charts 3 >"$build/terminal.log" 2>&1 &
terminal=$!

if ((live)); then
  echo "run: the stand-in terminal is up with a panel in each of its three charts; closing the terminal ends the panels too."
  wait "$terminal" || true
  exit 0
fi

# Until the three panels show in their charts (at most 30 s), then a few ticks of moving prices.
panels=0
for _ in $(seq 300); do
  panels=$(xdotool search --onlyvisible --class 'panel.exe' 2>/dev/null | wc -l || true)
  ((panels >= 3)) && break
  sleep 0.1
done
((panels >= 3)) || echo "run: only $panels of the three panels came up" >&2
sleep 2

# The terminal with the window manager's frame around it, wherever it is on the screen.
terminal_window=$(xdotool search --onlyvisible --name '^Stand-in Terminal$' | head -n 1) ||
  { echo "run: the terminal's window is not on the screen" >&2; exit 1; }
framed=$(xwininfo -children -id "$terminal_window" | awk '/Parent window id/ {print $4}')
eval "$(xwininfo -id "$framed" | awk '/Absolute upper-left X/ {print "X=" $4} /Absolute upper-left Y/ {print "Y=" $4}
                                      /Width:/ {print "WIDTH=" $2} /Height:/ {print "HEIGHT=" $2}')"
screenshot=$build/screenshot.png
import -window root -crop "${WIDTH}x${HEIGHT}+${X}+${Y}" +repage "$screenshot"
echo "run: screenshot of the terminal with a panel in each of its three charts: $screenshot"
