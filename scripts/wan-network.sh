#!/usr/bin/env bash
# Runs a Windows program behind a wide-area link, in a network namespace of its own (as root), with a wine
# session of its own there (wine's network services must live in the namespace too) on a copy of the given
# prefix; the display is the caller's. The far end is a second namespace, whose file the program finds in
# WAN_FAR_END (run a command there with nsenter --net="$WAN_FAR_END"):
#   - 10.77.0.2 and 10.77.0.3 are the far end's, behind a delay line of 25 ms each way (two tun devices and
#     the given delay_line program); 10.77.0.8 and 10.77.0.9 answer nothing at all, not even an echo;
#   - from the far end, 10.78.0.1 reaches this namespace over a link without delay;
#   - primary.wan.test and secondary.wan.test name 10.77.0.2 and 10.77.0.3 (a hosts file of this
#     namespace's own, bound over /etc/hosts in a mount namespace).
# Nothing in either namespace reaches any other network.
#   scripts/wan-network.sh PREFIX DELAY_LINE PROGRAM [ARGUMENTS...]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
source_prefix=$1
delay_line=$2
shift 2
prefix=$(mktemp -d "$(dirname "$source_prefix")/wan-prefix.XXXXXX")
hosts=$(mktemp)
trap 'rm -rf "$prefix" "$hosts"' EXIT
cp -a "$source_prefix/." "$prefix"
printf '127.0.0.1 localhost\n10.77.0.2 primary.wan.test\n10.77.0.3 secondary.wan.test\n' >"$hosts"

unshare --net --mount bash -c '
  set -euo pipefail
  mount --make-rprivate /
  mount --bind "$4" /etc/hosts
  ip link set lo up
  # The far end, held by a process that sleeps there.
  unshare --net sleep infinity &
  far=$!
  far_end=/proc/$far/ns/net
  for _ in $(seq 1 100); do
    [[ $(readlink "$far_end" 2>/dev/null) != "$(readlink /proc/self/ns/net)" ]] && break
    sleep 0.02
  done
  there() { nsenter --net="$far_end" "$@"; }
  ip tuntap add dev wan0 mode tun
  ip addr add 10.77.0.1/24 dev wan0
  ip link set wan0 up
  there ip link set lo up
  there ip tuntap add dev wan0 mode tun
  there ip addr add 10.77.0.2/24 dev wan0
  there ip addr add 10.77.0.3/24 dev wan0
  there ip link set wan0 up
  ip link add back0 type veth peer name back1
  ip link set back1 netns "$far"
  ip addr add 10.78.0.1/24 dev back0
  ip link set back0 up
  there ip addr add 10.78.0.2/24 dev back1
  there ip link set back1 up
  "$3" wan0 "$far_end" wan0 25 10.77.0.8 10.77.0.9 &
  line=$!
  export WAN_FAR_END=$far_end
  source "$1/scripts/session.sh"
  trap "stop_session; kill $line $far" EXIT
  start_wine "$2"
  shift 4
  "$0" "$@"
' "$root/scripts/wine-exec" "$root" "$prefix" "$delay_line" "$hosts" "$@"
