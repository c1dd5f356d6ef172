#!/usr/bin/env bash
# Makes the release a broker hands out, in dist/:
#   pellantix-<version>-win64.zip   panel.exe (static, stripped, its version resource carrying the version,
#                                   the commit and the licence), INSTALL.txt, LICENSE, THIRD-PARTY.txt with
#                                   licenses/, the bill of materials pellantix-<version>.spdx.json, and
#                                   SHA256SUMS of them all
#   pellantix-<version>-src.tar.gz  the corresponding source: the commit's tree and the gSOAP runtime
#                                   source as the build unpacked it
#   SHA256SUMS                      of the two
# The version is the file VERSION; the commit is HEAD (a tree with changes is refused).
#   bash scripts/release.sh [--sign KEY.p12 [--timestamp URL]] [build settings...]
# --sign signs panel.exe with Authenticode (SHA-256) with the key and certificate in KEY.p12, whose password
# is PANEL_SIGNING_PASSWORD in the environment; --timestamp names an RFC 3161 time-stamp server. Build
# settings follow as for scripts/build.sh, e.g. the endpoints:
#   bash scripts/release.sh -DPANEL_PRIMARY_ENDPOINT=https://... -DPANEL_SECONDARY_ENDPOINT=https://...
# Two releases of one commit give the same bytes, wherever and whenever they run; a signed program with its
# signature removed is the unsigned one (scripts/check-release.sh).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$root/build-release
dist=$root/dist

key="" timestamp=""
while (($# > 0)); do
  case $1 in
  --sign) key=$(realpath "${2:?--sign needs KEY.p12}"); shift 2 ;;
  --timestamp) timestamp=${2:?--timestamp needs a URL}; shift 2 ;;
  *) break ;;
  esac
done
if [[ -n $timestamp && -z $key ]]; then
  echo "release: --timestamp goes with --sign" >&2
  exit 2
fi
if [[ -n $key && -z ${PANEL_SIGNING_PASSWORD+set} ]]; then
  echo "release: set PANEL_SIGNING_PASSWORD to the password of $key (empty for none)" >&2
  exit 2
fi

if [[ -n $(git -C "$root" status --porcelain --untracked-files=no) ]]; then
  echo "release: the work tree has changes; a release is built from a commit" >&2
  exit 1
fi
version=$(head -n1 "$root/VERSION")
commit=$(git -C "$root" rev-parse HEAD)
# The archives' entries carry the commit's time, not the build's; so does the program's header, which the
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
mkdir "$stage/zip"
x86_64-w64-mingw32-strip -o "$stage/panel.exe" "$build/bin/panel.exe"
unsigned_digest=""
if [[ -n $key ]]; then
  "$root/scripts/sign.sh" "$stage/panel.exe" "$stage/zip/panel.exe" "$key" ${timestamp:+"$timestamp"}
  unsigned_digest=$(sha256sum <"$stage/panel.exe" | cut -d' ' -f1)
else
  cp "$stage/panel.exe" "$stage/zip/panel.exe"
fi
sed -e "s/@VERSION@/$version/g" -e "s/@COMMIT@/$commit/g" "$root/res/release/INSTALL.txt" | sed 's/$/\r/' \
  >"$stage/zip/INSTALL.txt"
sed 's/$/\r/' "$root/LICENSE" >"$stage/zip/LICENSE"
python3 "$root/scripts/release_notices.py" "$build" "$stage/zip/panel.exe" "$stage/zip" "$version" "$commit" \
  "$stamp" ${unsigned_digest:+"$unsigned_digest"}
(cd "$stage/zip" && find . -type f ! -name SHA256SUMS -printf '%P\n' | LC_ALL=C sort | xargs sha256sum >SHA256SUMS)

mkdir -p "$dist"
archive=$dist/pellantix-$version-win64.zip
source_archive=$dist/pellantix-$version-src.tar.gz
rm -f "$archive" "$source_archive" "$dist/SHA256SUMS"

# The source: what git archive holds of the commit, then the gSOAP runtime's source as the build unpacked
# it (the runtime it compiled, with its package's licence, changelog and description), under gsoap-source/,
# where scripts/setup.sh takes it instead of fetching it.
git -C "$root" archive --format=tar --prefix="pellantix-$version/" -o "$stage/source.tar" "$commit"
gsoap_tree=$(dirname "$(dirname "$(sed -n 's/^GSOAP_RUNTIME_SOURCE:FILEPATH=//p' "$build/CMakeCache.txt")")")

python3 - "$stage" "$archive" "$source_archive" "$stamp" "$version" "$gsoap_tree" <<'PY'
import gzip, sys, tarfile, time, zipfile
from pathlib import Path
stage, archive, source_archive, stamp, version, gsoap_tree = sys.argv[1:]
stamp = int(stamp)
files = Path(stage) / "zip"
when = time.gmtime(stamp)[:6]
# The digest list last, after the files it lists.
names = sorted(p.relative_to(files).as_posix() for p in files.rglob("*") if p.is_file() and p.name != "SHA256SUMS")
with zipfile.ZipFile(archive, "w", zipfile.ZIP_DEFLATED) as out:
    for name in names + ["SHA256SUMS"]:
        entry = zipfile.ZipInfo(name, date_time=when)
        entry.compress_type = zipfile.ZIP_DEFLATED
        entry.external_attr = 0o644 << 16
        entry.create_system = 3
        out.writestr(entry, (files / name).read_bytes(), compresslevel=9)

tree = Path(gsoap_tree)
wanted = ["gsoap/stdsoap2.cpp", "gsoap/stdsoap2.h", "LICENSE.txt", "GPLv2_license.txt", "README.txt",
          "debian/copyright", "debian/changelog"]
wanted += sorted(p.relative_to(tree).as_posix() for p in (tree / "debian" / "patches").glob("*") if p.is_file())
source_tar = Path(stage) / "source.tar"
with tarfile.open(source_tar, "a", format=tarfile.PAX_FORMAT) as out:
    prefix = f"pellantix-{version}/gsoap-source/{tree.name}/"
    folders = {f"pellantix-{version}/gsoap-source", prefix.rstrip("/")}
    for name in wanted:
        folders.update(str(Path(prefix + name).parents[i]) for i in range(len(Path(name).parts) - 1))
    for folder in sorted(folders):
        entry = tarfile.TarInfo(folder)
        entry.type, entry.mode, entry.mtime = tarfile.DIRTYPE, 0o755, stamp
        out.addfile(entry)
    for name in wanted:
        entry = tarfile.TarInfo(prefix + name)
        entry.size, entry.mode, entry.mtime = (tree / name).stat().st_size, 0o644, stamp
        with open(tree / name, "rb") as content:
            out.addfile(entry, content)
with open(source_tar, "rb") as plain, open(source_archive, "wb") as raw:
    with gzip.GzipFile(filename="", mode="wb", fileobj=raw, mtime=0, compresslevel=9) as packed:
        packed.write(plain.read())
PY

(cd "$dist" && sha256sum "$(basename "$archive")" "$(basename "$source_archive")" >SHA256SUMS)
echo "release: $archive"
echo "release: $source_archive"
(cd "$stage/zip" && sha256sum panel.exe)
