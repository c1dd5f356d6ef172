#!/usr/bin/env bash
# Measures how long a trade command takes when no endpoint answers the echo, where the loopback ignores
# echoes (scripts/no-echo-network.sh).
#   bash scripts/bench-no-echo.sh   (as root)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$root/build

"$root/scripts/setup.sh" "$build"
"$root/scripts/build.sh" "$build" -DBUILD_TESTING=ON

# shellcheck source=session.sh
source "$root/scripts/session.sh"
start_wine "$build/wineprefix"  # makes the prefix when missing
stop_session
"$root/scripts/no-echo-network.sh" "$build/wineprefix" "$build/bin/bench_no_echo.exe"
