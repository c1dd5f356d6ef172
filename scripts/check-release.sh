#!/usr/bin/env bash
# Proves the release reproducible: HEAD cloned twice, into two folders of different places and depths, and
# released in each, one after the other (at different times), must give the same panel.exe and the same
# archive, byte for byte. Not part of the tests' run: it builds the panel twice from scratch.
#   bash scripts/check-release.sh
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
commit=$(git -C "$root" rev-parse HEAD)
work=$(mktemp -d /tmp/release-check.XXXXXX)
trap 'rm -rf "$work"' EXIT
clones=("$work/a/pellantix" "$work/b/somewhere/else/panel-source")
for clone in "${clones[@]}"; do
  git clone -q "$root" "$clone"
  git -C "$clone" checkout -q "$commit"
  bash "$clone/scripts/release.sh"
  sleep 2
done
version=$(head -n1 "$root/VERSION")
first=${clones[0]}/dist/pellantix-$version-win64.zip
second=${clones[1]}/dist/pellantix-$version-win64.zip
if cmp -s <(unzip -p "$first" panel.exe) <(unzip -p "$second" panel.exe) && cmp -s "$first" "$second"; then
  echo "check-release: reproducible: $(unzip -p "$first" panel.exe | sha256sum | cut -d' ' -f1) panel.exe, $(sha256sum <"$first" | cut -d' ' -f1) archive"
else
  echo "check-release: the two builds differ" >&2
  cmp <(unzip -p "$first" panel.exe) <(unzip -p "$second" panel.exe) | head -n3 >&2 || true
  exit 1
fi
