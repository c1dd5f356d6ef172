#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test under wine on a display of its own.
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

# The full long run (label "long", about 18 minutes) runs only when a label is asked for: -L long.
skip_long=(-LE long)
for argument in "$@"; do
  if [[ $argument == -L || $argument == --label-regex ]]; then skip_long=(); fi
done
cd "$build"
ctest --output-on-failure --timeout 300 -j2 "${skip_long[@]}" "$@"
