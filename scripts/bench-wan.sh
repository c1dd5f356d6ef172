#!/usr/bin/env bash
# Measures presses and failing commands over a wide-area link of 25 ms each way (scripts/wan-network.sh):
# cold, rested and long-rested presses for http and https, and a command with both endpoints silent.
#   bash scripts/bench-wan.sh   (as root)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$root/build

"$root/scripts/setup.sh" "$build"
"$root/scripts/build.sh" "$build" -DBUILD_TESTING=ON
g++ -O2 -std=c++20 -Wall -Wextra -o "$build/delay_line" "$root/tools/delay_line/delay_line.cpp"
g++ -O2 -std=c++20 -Wall -Wextra -o "$build/first_byte_relay" "$root/tools/delay_line/first_byte_relay.cpp"
export WAN_FIRST_BYTE_RELAY=$build/first_byte_relay WAN_ARRIVALS=$build/wan-arrivals.log
rm -f "$WAN_ARRIVALS"

# shellcheck source=session.sh
source "$root/scripts/session.sh"
(
  trap stop_session EXIT
  start_wine "$build/wineprefix"  # makes the prefix when missing
)
trap stop_session EXIT
trap "exit 130" INT TERM
start_display
"$root/scripts/wan-network.sh" "$build/wineprefix" "$build/delay_line" "$build/bin/bench_wan.exe"
