#!/usr/bin/env bash
# Known answers for the reply decoding, made outside the panel: for a key source text (a broker address),
# the key is characters 1 to 8 of the upper-case SHA-1 of the text padded with spaces to the next multiple
# of 8 (taken as ASCII codes); the plain text is completed with zero bytes to whole DES blocks and encrypted
# with openssl in ECB mode without padding.
# Output lines: key source, plain text as hex, cipher text as upper-case hex (tab-separated).
#   make_des_vectors.sh OUTPUT
set -euo pipefail
out=$1

vector() {
  local source=$1 plainhex=$2
  local padded=$source
  local target=$(((${#source} / 8) * 8 + 8))
  while ((${#padded} < target)); do padded+=" "; done
  local digest key blocks cipher
  digest=$(printf '%s' "$padded" | sha1sum | cut -c1-40 | tr 'a-f' 'A-F')
  key=$(printf '%s' "${digest:0:8}" | od -An -tx1 | tr -d ' \n')
  # Whole blocks: zero bytes appended to the plain text.
  blocks=$plainhex
  while (((${#blocks} / 2) % 8 != 0)); do blocks+="00"; done
  cipher=$(printf '%s' "$blocks" | perl -e 'local $/; print pack("H*", <STDIN>)' |
    openssl enc -des-ecb -nopad -K "$key" -provider legacy -provider default | od -An -tx1 | tr -d ' \n' |
    tr 'a-f' 'A-F')
  printf '%s\t%s\t%s\n' "$source" "$plainhex" "$cipher"
}

hex() { printf '%s' "$1" | od -An -tx1 | tr -d ' \n'; }

{
  vector "" "$(hex '<Order Type="BUY" Volume="0.01"/>')"
  vector "192.168.10.200" "$(hex '<Order Type="NONE"/>')"
  vector "127.0.0.5" "$(hex 'SIXTEEN-LETTERS!')"
  vector "10.0.0.1" "$(hex 'AB')00$(hex 'CDEFGH')"
} >"$out"
