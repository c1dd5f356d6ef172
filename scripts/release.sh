#!/usr/bin/env bash
# Makes the release a broker hands out: dist/pellantix-<version>-win64.zip holding panel.exe (static,
# stripped, its version resource carrying the version and the commit), INSTALL.txt and SHA256SUMS. The
# version is the file VERSION; the commit is HEAD (a tree with changes is refused). Build settings may
# follow, as for scripts/build.sh, e.g. the endpoints:
#   bash scripts/release.sh -DPANEL_PRIMARY_ENDPOINT=https://... -DPANEL_SECONDARY_ENDPOINT=https://...
# Two builds of one commit give the same bytes, wherever and whenever they run (scripts/check-release.sh).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$root/build-release
dist=$root/dist

if [[ -n $(git -C "$root" status --porcelain --untracked-files=no) ]]; then
  echo "release: the work tree has changes; a release is built from a commit" >&2
  exit 1
fi
version=$(head -n1 "$root/VERSION")
commit=$(git -C "$root" rev-parse HEAD)
# The archive's entries carry the commit's time, not the build's; so does the program's header, which the
# strip would otherwise stamp with the time of the build.
stamp=$(git -C "$root" log -1 --format=%ct HEAD)
export SOURCE_DATE_EPOCH=$stamp

"$root/scripts/setup.sh" "$build" >/dev/null
rm -rf "$build/CMakeCache.txt" "$build/CMakeFiles"
cmake -S "$root" -B "$build" -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64-x86_64.cmake" \
  -DBUILD_TESTING=OFF -DPANEL_COMMIT="$commit" "$@" >/dev/null
cmake --build "$build" --target panel -j"$(nproc)" >/dev/null

stage=$(mktemp -d)
trap 'rm -rf "$stage"' EXIT
x86_64-w64-mingw32-strip -o "$stage/panel.exe" "$build/bin/panel.exe"
sed -e "s/@VERSION@/$version/" -e "s/@COMMIT@/$commit/" "$root/res/release/INSTALL.txt" | sed 's/$/\r/' >"$stage/INSTALL.txt"
(cd "$stage" && sha256sum panel.exe INSTALL.txt >SHA256SUMS)

mkdir -p "$dist"
archive=$dist/pellantix-$version-win64.zip
python3 - "$stage" "$archive" "$stamp" <<'PY'
import sys, time, zipfile
stage, archive, stamp = sys.argv[1], sys.argv[2], int(sys.argv[3])
when = time.gmtime(stamp)[:6]
with zipfile.ZipFile(archive, "w", zipfile.ZIP_DEFLATED) as out:
    for name in ("panel.exe", "INSTALL.txt", "SHA256SUMS"):
        entry = zipfile.ZipInfo(name, date_time=when)
        entry.compress_type = zipfile.ZIP_DEFLATED
        entry.external_attr = 0o644 << 16
        entry.create_system = 3
        with open(f"{stage}/{name}", "rb") as data:
            out.writestr(entry, data.read(), compresslevel=9)
PY
echo "release: $archive"
(cd "$stage" && sha256sum panel.exe)
