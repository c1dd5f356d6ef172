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

cd "$build"
ctest --output-on-failure --timeout 300 -j2 "$@"
