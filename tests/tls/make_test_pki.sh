#!/bin/sh
# A throw-away PKI for the TLS tests, made when a test starts, in the folder given:
#   root.pem/.der     the test root, trusted inside the test's wine prefix while the test runs
#   valid             localhost, under the test root
#   elsewhere         another host's name, under the test root
#   untrusted         localhost, under a root nobody trusts
#   expired           localhost, under the test root, valid only in 2020
#   rekeyed           localhost, under the test root, with a key of its own
#   wan               primary.wan.test and secondary.wan.test, under the test root (the WAN benchmark)
# Each leaf as NAME.pem (certificate) and NAME.key; NAME.pin holds the base64 SHA-256 of its public key.
set -eu
dir=$1
mkdir -p "$dir/db"
cd "$dir"
key="-newkey rsa:2048 -nodes"

openssl req -x509 $key -keyout root.key -out root.pem -days 30 -subj "/CN=Panel Test Root" \
  -addext "basicConstraints=critical,CA:true" -addext "keyUsage=critical,keyCertSign,cRLSign" 2>/dev/null
openssl x509 -in root.pem -outform der -out root.der
openssl req -x509 $key -keyout other-root.key -out other-root.pem -days 30 -subj "/CN=Untrusted Test Root" \
  -addext "basicConstraints=critical,CA:true" -addext "keyUsage=critical,keyCertSign,cRLSign" 2>/dev/null

extensions() {
  printf 'subjectAltName=%s\nbasicConstraints=CA:false\nkeyUsage=critical,digitalSignature,keyEncipherment\n' "$1"
  printf 'extendedKeyUsage=serverAuth\nsubjectKeyIdentifier=hash\nauthorityKeyIdentifier=keyid\n'
}
leaf() {  # name, subject alternative names, signing root
  openssl req $key -keyout "$1.key" -out "$1.csr" -subj "/CN=$1" 2>/dev/null
  extensions "$2" >"$1.ext"
  openssl x509 -req -in "$1.csr" -CA "$3.pem" -CAkey "$3.key" -CAcreateserial -days 30 -out "$1.pem" \
    -extfile "$1.ext" 2>/dev/null
}
leaf valid DNS:localhost root
leaf elsewhere DNS:elsewhere.test root
leaf untrusted DNS:localhost other-root
leaf rekeyed DNS:localhost root
leaf wan DNS:primary.wan.test,DNS:secondary.wan.test root

# Past dates need the ca command.
openssl req $key -keyout expired.key -out expired.csr -subj "/CN=expired" 2>/dev/null
: >db/index.txt
echo 1000 >db/serial
{
  printf '[ca]\ndefault_ca=test\n[test]\ndir=.\ndatabase=db/index.txt\nserial=db/serial\nnew_certs_dir=db\n'
  printf 'certificate=root.pem\nprivate_key=root.key\ndefault_md=sha256\npolicy=any\nunique_subject=no\n'
  printf 'x509_extensions=leaf\n[any]\ncommonName=supplied\n[leaf]\n'
  extensions DNS:localhost | sed 's/=/ = /'
} >ca.cnf
openssl ca -batch -config ca.cnf -in expired.csr -out expired.pem -notext \
  -startdate 20200101000000Z -enddate 20201231000000Z 2>/dev/null

for name in valid elsewhere untrusted expired rekeyed wan root; do
  openssl x509 -pubkey -noout -in "$name.pem" | openssl pkey -pubin -outform der |
    openssl dgst -sha256 -binary | base64 >"$name.pin"
done
