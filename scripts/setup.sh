#!/usr/bin/env bash
# Installs what building and running the panel needs on Debian, when it is missing.
set -euo pipefail

packages=(
  cmake make python3
  g++-mingw-w64-x86-64 mingw-w64   # the Windows cross compiler (posix thread model drivers)
  googletest                       # GoogleTest sources, built with the cross compiler
  wine64 wine                      # runs the programs and tests
  xvfb xdotool x11-utils imagemagick  # display, real mouse input, screenshots
  fonts-liberation                 # measures as Arial does
)

missing=()
for package in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$package")
  fi
done

if ((${#missing[@]} > 0)); then
  if [[ $(id -u) -ne 0 ]]; then
    echo "setup: missing packages: ${missing[*]}; run as root to install them" >&2
    exit 1
  fi
  echo "setup: installing ${missing[*]}"
  apt-get update -qq
  DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi
