#!/usr/bin/env bash
# The release's signing, on the panel as the release strips it: signed with a code-signing certificate
# made here (under a test root), it verifies against that root and no other, is the unsigned program again
# once its signature is removed (also with a time stamp from an authority on the loopback), keeps its
# password out of what it prints, and still runs and trades under wine; one byte changed and it no longer
# verifies.
#   tests/release/signing_test.sh BUILD_DIR   (inside the tests' wine session)
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
build=$1
work=$(mktemp -d "$build/signing-test.XXXXXX")
server=""
trap '[[ -z $server ]] || kill "$server" 2>/dev/null; rm -rf "$work"' EXIT
fail() { echo "signing test: $*" >&2; exit 1; }

sh "$root/tests/tls/make_test_pki.sh" "$work/pki"
x86_64-w64-mingw32-strip -o "$work/unsigned.exe" "$build/bin/panel.exe"

PANEL_SIGNING_PASSWORD=wrong-Guess-3 "$root/scripts/sign.sh" "$work/unsigned.exe" "$work/refused.exe" "$work/pki/signing.p12" \
  >"$work/refused.log" 2>&1 && fail "a wrong password signed"
[[ ! -s $work/refused.exe ]] || fail "a wrong password left a program behind"
PANEL_SIGNING_PASSWORD=p12-Secret-7 "$root/scripts/sign.sh" "$work/unsigned.exe" "$work/panel.exe" "$work/pki/signing.p12" \
  >"$work/sign.log" 2>&1 || { cat "$work/sign.log" >&2; fail "signing failed"; }
! grep -qE "p12-Secret-7|wrong-Guess-3" "$work/sign.log" "$work/refused.log" || fail "the password reached the output"

osslsigncode verify -in "$work/panel.exe" -CAfile "$work/pki/root.pem" >"$work/verify.log" 2>&1 ||
  { cat "$work/verify.log" >&2; fail "the signed program does not verify against its root"; }
grep -q 'Message digest algorithm *: SHA256' "$work/verify.log" || { cat "$work/verify.log" >&2; fail "not SHA-256"; }
grep -q 'Signature verification: ok' "$work/verify.log" || { cat "$work/verify.log" >&2; fail "no verified signature"; }
osslsigncode verify -in "$work/panel.exe" -CAfile "$work/pki/other-root.pem" >/dev/null 2>&1 &&
  fail "it verifies against a root that did not sign it"

osslsigncode remove-signature -in "$work/panel.exe" -out "$work/stripped.exe" >/dev/null
cmp "$work/stripped.exe" "$work/unsigned.exe" || fail "without its signature it is not the unsigned program"

# Counter-signed by a time-stamping authority on the loopback: still the same program beneath.
python3 "$root/tests/release/time_stamp_server.py" "$work/pki" "$work/tsa.port" &
server=$!
for _ in $(seq 100); do [[ -s $work/tsa.port ]] && break; sleep 0.1; done
[[ -s $work/tsa.port ]] || fail "the time-stamping server did not start"
PANEL_SIGNING_PASSWORD=p12-Secret-7 "$root/scripts/sign.sh" "$work/unsigned.exe" "$work/stamped.exe" \
  "$work/pki/signing.p12" "http://127.0.0.1:$(cat "$work/tsa.port")/" >"$work/stamp.log" 2>&1 ||
  { cat "$work/stamp.log" >&2; fail "signing with a time stamp failed"; }
osslsigncode verify -in "$work/stamped.exe" -CAfile "$work/pki/root.pem" -TSA-CAfile "$work/pki/root.pem" \
  >"$work/stamped.log" 2>&1 || { cat "$work/stamped.log" >&2; fail "the time-stamped program does not verify"; }
grep -q 'Timestamp Server Signature verification: ok' "$work/stamped.log" ||
  { cat "$work/stamped.log" >&2; fail "no verified time stamp"; }
osslsigncode remove-signature -in "$work/stamped.exe" -out "$work/stamped-stripped.exe" >/dev/null
cmp "$work/stamped-stripped.exe" "$work/unsigned.exe" || fail "the time-stamped program without its signature differs"
kill "$server"
server=""

# One byte of the code changed, 64 KiB into the file, well inside the first section.
cp "$work/panel.exe" "$work/tampered.exe"
byte=$(od -An -tu1 -j65536 -N1 "$work/tampered.exe" | tr -d ' ')
printf "$(printf '\\%03o' $(((byte + 1) % 256)))" | dd of="$work/tampered.exe" bs=1 seek=65536 conv=notrunc status=none
cmp -s "$work/tampered.exe" "$work/panel.exe" && fail "the byte did not change"
osslsigncode verify -in "$work/tampered.exe" -CAfile "$work/pki/root.pem" >/dev/null 2>&1 &&
  fail "a tampered program still verifies"

# The signed program trades: the order test's press, through the stand-in service, on the signed build.
export PANEL_PROGRAM="Z:${work//\//\\}\\panel.exe"
"$root/scripts/wine-exec" "$build/bin/e2e_tests.exe" --gtest_filter=Orders.BuySendsOneRequestWithThePanelsValuesThenOneFinish \
  >"$work/trade.log" 2>&1 || { cat "$work/trade.log" >&2; fail "the signed program does not trade"; }
grep -q '\[  PASSED  \] 1 test' "$work/trade.log" || { cat "$work/trade.log" >&2; fail "the order test did not run"; }
echo "signing test: signed, verified (SHA-256), time-stamped, the same without its signature, tampered refused, trades"
