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

# The terminal starts the panel on its chart, as its expert does.
wine "$build/bin/terminal.exe" >"$build/terminal.log" 2>&1 &
terminal=$!

if ((live)); then
  echo "run: the stand-in terminal is up with the panel in its chart; closing the terminal ends the panel too."
  wait "$terminal" || true
  exit 0
fi

# Until the panel shows in the chart, then a few ticks of moving prices.
timeout 30 xdotool search --sync --class 'panel.exe' >/dev/null 2>&1 || true
sleep 3
screenshot=$build/screenshot.png
import -window root -crop 980x600+0+0 "$screenshot"
echo "run: screenshot of the terminal with the panel in its chart: $screenshot"
