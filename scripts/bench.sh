#!/usr/bin/env bash
# Builds and runs the benchmark under wine on a display of its own; it prints one table of figures.
#   bash scripts/bench.sh [refresh seconds] [long-run orders] [long-run seconds]
#   (defaults 60, 200 and 1000 seconds: the long run is 10 000 ticks, about 18 minutes)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$root/build

"$root/scripts/setup.sh" "$build"
"$root/scripts/build.sh" "$build" -DBUILD_TESTING=ON

# shellcheck source=session.sh
source "$root/scripts/session.sh"
trap stop_session EXIT
trap "exit 130" INT TERM
start_display
start_wine "$build/wineprefix"

"$root/scripts/wine-exec" "$build/bin/bench_figures.exe" "${1:-60}" "${2:-200}" "${3:-1000}"
