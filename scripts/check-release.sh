#!/usr/bin/env bash
# Proves the release what it says it is. HEAD is cloned twice, into two folders of different places and
# depths, and released in each, one after the other (at different times): the two give the same program,
# the same archive (with the same notices and bill of materials) and the same source archive, byte for
# byte. The first program, signed with a code-signing certificate made here, is the unsigned one again once
# its signature is removed. The source archive alone, unpacked elsewhere with no clone, builds the same
# panel.exe. Not part of the tests' run: it builds the panel three times from scratch.
#   bash scripts/check-release.sh
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
commit=$(git -C "$root" rev-parse HEAD)
version=$(head -n1 "$root/VERSION")
work=$(mktemp -d /tmp/release-check.XXXXXX)
trap 'rm -rf "$work"' EXIT
fail() { echo "check-release: $*" >&2; exit 1; }

clones=("$work/a/pellantix" "$work/b/somewhere/else/panel-source")
for clone in "${clones[@]}"; do
  git clone -q "$root" "$clone"
  git -C "$clone" checkout -q "$commit"
  bash "$clone/scripts/release.sh"
  sleep 2
done
first=${clones[0]}/dist
second=${clones[1]}/dist
zip=pellantix-$version-win64.zip
source=pellantix-$version-src.tar.gz
bom=pellantix-$version.spdx.json

cmp <(unzip -p "$first/$zip" panel.exe) <(unzip -p "$second/$zip" panel.exe) || fail "the two programs differ"
cmp <(unzip -p "$first/$zip" "$bom") <(unzip -p "$second/$zip" "$bom") || fail "the two bills of materials differ"
cmp "$first/$zip" "$second/$zip" || fail "the two archives differ"
cmp "$first/$source" "$second/$source" || fail "the two source archives differ"
cmp "$first/SHA256SUMS" "$second/SHA256SUMS" || fail "the two digest lists differ"
(cd "$first" && sha256sum --quiet -c SHA256SUMS) || fail "SHA256SUMS does not match the release"
mkdir "$work/unpacked"
unzip -q "$first/$zip" -d "$work/unpacked"
(cd "$work/unpacked" && sha256sum --quiet -c SHA256SUMS) || fail "the archive's SHA256SUMS does not match its files"
python3 - "$work/unpacked" "$bom" <<'PY' || fail "the bill of materials does not describe the program"
import hashlib, json, sys
from pathlib import Path
folder, name = Path(sys.argv[1]), sys.argv[2]
document = json.loads((folder / name).read_text())
assert document["spdxVersion"] == "SPDX-2.3", document["spdxVersion"]
panel = next(p for p in document["packages"] if p["SPDXID"] == "SPDXRef-Package-panel")
digest = hashlib.sha256((folder / "panel.exe").read_bytes()).hexdigest()
assert panel["checksums"] == [{"algorithm": "SHA256", "checksumValue": digest}], panel["checksums"]
linked = {r["relatedSpdxElement"] for r in document["relationships"] if r["relationshipType"] == "STATIC_LINK"}
assert len(linked) == 4, linked
PY

# Signed with a throwaway code-signing certificate, then stripped of the signature again.
sh "$root/tests/tls/make_test_pki.sh" "$work/pki" >/dev/null
unzip -p "$first/$zip" panel.exe >"$work/unsigned.exe"
PANEL_SIGNING_PASSWORD=p12-Secret-7 "$root/scripts/sign.sh" "$work/unsigned.exe" "$work/signed.exe" "$work/pki/signing.p12"
osslsigncode verify -in "$work/signed.exe" -CAfile "$work/pki/root.pem" >/dev/null || fail "the signed program does not verify"
osslsigncode remove-signature -in "$work/signed.exe" -out "$work/stripped.exe" >/dev/null
cmp "$work/stripped.exe" "$work/unsigned.exe" || fail "the signed program without its signature is not the unsigned one"

# The source archive on its own: no clone, no fetch of the gSOAP source.
mkdir "$work/c"
tar -xzf "$first/$source" -C "$work/c"
tree=$work/c/pellantix-$version
[[ ! -e $tree/.git ]] || fail "the source archive holds a clone"
export SOURCE_DATE_EPOCH=$(git -C "$root" log -1 --format=%ct "$commit")
bash "$tree/scripts/setup.sh" "$tree/build-release" >/dev/null
cmake -S "$tree" -B "$tree/build-release" -DCMAKE_TOOLCHAIN_FILE="$tree/cmake/mingw-w64-x86_64.cmake" \
  -DBUILD_TESTING=OFF >/dev/null
cmake --build "$tree/build-release" --target panel -j"$(nproc)" >/dev/null
x86_64-w64-mingw32-strip -o "$work/from-source.exe" "$tree/build-release/bin/panel.exe"
cmp "$work/from-source.exe" "$work/unsigned.exe" || fail "the source archive builds another program"

echo "check-release: reproducible: $(sha256sum <"$work/unsigned.exe" | cut -d' ' -f1) panel.exe,"\
  "$(sha256sum <"$first/$zip" | cut -d' ' -f1) archive, $(sha256sum <"$first/$source" | cut -d' ' -f1) source;"\
  "signed and stripped again: the same program; built from the source archive alone: the same program"
