#!/usr/bin/env bash
# Signs a Windows program with Authenticode (SHA-256) through osslsigncode:
#   scripts/sign.sh IN.exe OUT.exe KEY.p12 [TIMESTAMP_URL]
# The key's password is PANEL_SIGNING_PASSWORD in the environment (empty for a key without one); it goes to
# osslsigncode through a pipe, never on a command line, so no process list or log shows it. TIMESTAMP_URL
# names an RFC 3161 time-stamp server, whose counter-signature keeps the signature valid after the
# certificate expires.
set -euo pipefail
if (($# < 3 || $# > 4)); then
  echo "usage: sign.sh IN.exe OUT.exe KEY.p12 [TIMESTAMP_URL]" >&2
  exit 2
fi
in=$1 out=$2 key=$3 timestamp=${4:-}
if [[ -z ${PANEL_SIGNING_PASSWORD+set} ]]; then
  echo "sign: set PANEL_SIGNING_PASSWORD to the password of $key (empty for none)" >&2
  exit 2
fi
[[ -r $key ]] || { echo "sign: cannot read $key" >&2; exit 2; }
command -v osslsigncode >/dev/null || { echo "sign: osslsigncode is missing (scripts/setup.sh installs it)" >&2; exit 2; }
options=(-h sha256 -n "Pellantix trading panel")
[[ -n $timestamp ]] && options+=(-ts "$timestamp")
rm -f "$out"
# printf is the shell's own: the password is in no process's arguments.
osslsigncode sign -pkcs12 "$key" -readpass /dev/fd/3 "${options[@]}" -in "$in" -out "$out" \
  3< <(printf '%s' "$PANEL_SIGNING_PASSWORD") >/dev/null
