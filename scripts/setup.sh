#!/usr/bin/env bash
# Installs what building and running the panel needs on Debian, when it is missing, and unpacks the gSOAP
# runtime source into the build folder (or copies it from gsoap-source/, where a source release has it).
#   scripts/setup.sh [BUILD_DIR]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build}

packages=(
  cmake make python3 openssl unzip
  socat                            # the TLS front of the stand-in service in tests
  iproute2                         # ip and ss: the tests' network namespace, whose socket listens
  g++-mingw-w64-x86-64 mingw-w64   # the Windows cross compiler (posix thread model drivers)
  g++                              # the Linux programs of the tests and benchmarks (another program's
                                   # connections, the WAN benchmark's delay line)
  googletest                       # GoogleTest sources, built with the cross compiler
  gsoap dpkg-dev                   # the SOAP code generator; dpkg-source unpacks the runtime's source
  osslsigncode                     # Authenticode signing of a release (and its test)
  wine64 wine                      # runs the programs and tests
  wine64-preloader                 # reserves wine's fixed addresses before Linux maps anything: without
                                   # it the randomly placed C heap now and then covers the page wine needs
                                   # at 0x7ffe0000, and the new process dies before it starts
  xvfb xdotool x11-utils imagemagick  # display, real mouse input, screenshots
  openbox x11-apps                 # the desktop's window manager; an X program of another kind for tests
  fonts-liberation fonts-wine      # measures as Arial does; wine's own fonts (caption buttons, dialogs)
)

need_root() {
  if [[ $(id -u) -ne 0 ]]; then
    echo "setup: $1; run as root" >&2
    exit 1
  fi
}

missing=()
for package in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$package")
  fi
done
if ((${#missing[@]} > 0)); then
  need_root "missing packages: ${missing[*]}"
  echo "setup: installing ${missing[*]}"
  apt-get update -qq
  DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi

# Source packages come from the same places as the machine's binary packages: each deb entry gets its
# deb-src twin, so no host is named here.
enable_source_packages() {
  local added=0 file
  shopt -s nullglob
  for file in /etc/apt/sources.list.d/*.sources; do
    [[ $file == *-src.sources ]] && continue
    grep -q '^Types:.*deb-src' "$file" && continue
    if [[ ! -f ${file%.sources}-src.sources ]]; then
      sed 's/^Types: deb$/Types: deb-src/' "$file" >"${file%.sources}-src.sources"
      added=1
    fi
  done
  if [[ -f /etc/apt/sources.list ]] && ! grep -q '^deb-src' /etc/apt/sources.list; then
    sed -n 's/^deb /deb-src /p' /etc/apt/sources.list >/etc/apt/sources.list.d/setup-src.list
    added=1
  fi
  shopt -u nullglob
  if ((added)); then apt-get update -qq; fi
}

gsoap_source=$build/gsoap-source
# The release's source archive carries the runtime's source beside the tree: that one is taken.
if ! compgen -G "$gsoap_source/gsoap-*/gsoap/stdsoap2.cpp" >/dev/null &&
  compgen -G "$root/gsoap-source/gsoap-*/gsoap/stdsoap2.cpp" >/dev/null; then
  mkdir -p "$gsoap_source"
  cp -R "$root"/gsoap-source/gsoap-* "$gsoap_source/"
fi
if ! compgen -G "$gsoap_source/gsoap-*/gsoap/stdsoap2.cpp" >/dev/null; then
  need_root "the gSOAP runtime source is missing"
  enable_source_packages
  mkdir -p "$gsoap_source"
  (cd "$gsoap_source" && apt-get source -qq gsoap >"$gsoap_source/apt-source.log" 2>&1) || {
    cat "$gsoap_source/apt-source.log" >&2
    exit 1
  }
fi
