#!/usr/bin/env bash
# Runs a Windows program where the loopback ignores echoes, as many firewalled networks do: in a network
# namespace of its own (as root), with a wine session of its own there (wine's network services must live in
# the namespace too), on a copy of the given prefix. The display is the caller's.
#   scripts/no-echo-network.sh PREFIX PROGRAM [ARGUMENTS...]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
source_prefix=$1
shift
prefix=$(mktemp -d "$(dirname "$source_prefix")/no-echo-prefix.XXXXXX")
trap 'rm -rf "$prefix" "$prefix.warmup.log"' EXIT
cp -a "$source_prefix/." "$prefix"

unshare --net bash -c '
  set -euo pipefail
  ip link set lo up
  sysctl -qw net.ipv4.icmp_echo_ignore_all=1
  source "$1/scripts/session.sh"
  trap stop_session EXIT
  start_wine "$2"
  shift 2
  "$0" "$@"
' "$root/scripts/wine-exec" "$root" "$prefix" "$@"
