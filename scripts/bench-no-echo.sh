#!/usr/bin/env bash
# Measures how long a trade command holds the panel when no endpoint answers the echo. Runs the figure
# program in a network namespace of its own whose loopback ignores echoes, with a wine session of its own
# there (wine's network services must live in the namespace too), on a copy of the build's prefix.
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
prefix=$build/no-echo-prefix
rm -rf "$prefix"
cp -a "$build/wineprefix" "$prefix"
trap 'rm -rf "$prefix"' EXIT

unshare --net bash -c '
  set -euo pipefail
  ip link set lo up
  sysctl -qw net.ipv4.icmp_echo_ignore_all=1
  source "$1/scripts/session.sh"
  trap stop_session EXIT
  start_wine "$2"
  "$1/scripts/wine-exec" "$3/bin/bench_no_echo.exe"
' bench "$root" "$prefix" "$build"
