#!/usr/bin/env bash
# Builds and runs the benchmarks under wine on a display of their own; they print figures, nothing more.
#   bash scripts/bench.sh [refresh seconds] [long-run orders] [long-run seconds]
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

"$root/scripts/wine-exec" "$build/bin/bench_read_symbol_info.exe"
"$root/scripts/wine-exec" "$build/bin/bench_order.exe"
"$root/scripts/wine-exec" "$build/bin/bench_refresh.exe" "${1:-60}"
"$root/scripts/wine-exec" "$build/bin/bench_long_run.exe" "${2:-200}" "${3:-0}"
