#!/bin/sh
# A throw-away PKI for the TLS tests, made when a test starts, in the folder given:
#   root.pem/.der     the test root, trusted inside the test's wine prefix while the test runs
#   valid             localhost, under the test root
#   elsewhere         another host's name, under the test root
#   untrusted         localhost, under a root nobody trusts
#   expired           localhost, under the test root, valid only in 2020
#   rekeyed           localhost, under the test root, with a key of its own
#   wan               primary.wan.test and secondary.wan.test, under the test root (the WAN benchmark)
#   chained           localhost, under an intermediate CA of the test root, sent with the intermediate
#   by-leaf           localhost, issued by the valid leaf (not a CA), sent with it
#   by-plain          localhost, issued by a certificate of the test root without basic constraints, sent with it
#   client-only       localhost, under the test root, for client authentication only
#   deep              localhost, under a CA below the intermediate, whose path length allows none, sent with both
#   by-nonsigner      localhost, issued by a CA of the test root whose key usage does not sign certificates
#   by-client-ca      localhost, issued by a CA of the test root for client authentication only
#   fetched           localhost, under the intermediate, sent alone: its issuer only at the address it names,
#                     http://127.0.0.1:8480/intermediate.der
#   signing           code signing, under the test root; signing.p12 holds it with its key and the root,
#                     password "p12-Secret-7" (the release's signing test)
#   tsa               an RFC 3161 time-stamping authority under the test root, with tsa.cnf for openssl ts
# serve-issuer.sh answers one HTTP request with the intermediate and counts it, a line each, in fetches.
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

extensions() {  # subject alternative names, extended key usage
  printf 'subjectAltName=%s\nbasicConstraints=CA:false\nkeyUsage=critical,digitalSignature,keyEncipherment\n' "$1"
  printf 'extendedKeyUsage=%s\nsubjectKeyIdentifier=hash\nauthorityKeyIdentifier=keyid\n' "${2:-serverAuth}"
}
signed() {  # name, signer, extensions file; the certificate as NAME.pem
  openssl req $key -keyout "$1.key" -out "$1.csr" -subj "/CN=$1" 2>/dev/null
  openssl x509 -req -in "$1.csr" -CA "$2.pem" -CAkey "$2.key" -CAcreateserial -days 30 -out "$1.pem" \
    -extfile "$3" 2>/dev/null
}
leaf() {  # name, subject alternative names, signer, extended key usage
  extensions "$2" "${4:-}" >"$1.ext"
  signed "$1" "$3" "$1.ext"
}
leaf valid DNS:localhost root
leaf elsewhere DNS:elsewhere.test root
leaf untrusted DNS:localhost other-root
leaf rekeyed DNS:localhost root
leaf wan DNS:primary.wan.test,DNS:secondary.wan.test root
leaf client-only DNS:localhost root clientAuth

# Issuers below the root: a real intermediate CA, and one with no basic constraints at all.
printf 'basicConstraints=critical,CA:true,pathlen:0\nkeyUsage=critical,keyCertSign,cRLSign\n' >intermediate.ext
printf 'subjectKeyIdentifier=hash\nauthorityKeyIdentifier=keyid\n' >>intermediate.ext
signed intermediate root intermediate.ext
openssl x509 -in intermediate.pem -outform der -out intermediate.der
printf 'subjectAltName=DNS:plain.test\nextendedKeyUsage=serverAuth\nsubjectKeyIdentifier=hash\n' >plain.ext
signed plain root plain.ext
ca() {  # name, signer, further extensions
  printf 'basicConstraints=critical,CA:true\nsubjectKeyIdentifier=hash\nauthorityKeyIdentifier=keyid\n%s\n' "$3" >"$1.ext"
  signed "$1" "$2" "$1.ext"
}
ca sub intermediate 'keyUsage=critical,keyCertSign,cRLSign'
ca nonsigner root 'keyUsage=critical,digitalSignature'
ca client-ca root "$(printf 'keyUsage=critical,keyCertSign,cRLSign\nextendedKeyUsage=clientAuth')"
leaf chained DNS:localhost intermediate
leaf deep DNS:localhost sub
leaf by-nonsigner DNS:localhost nonsigner
leaf by-client-ca DNS:localhost client-ca
leaf by-leaf DNS:localhost valid
leaf by-plain DNS:localhost plain
{ extensions DNS:localhost; echo 'authorityInfoAccess=caIssuers;URI:http://127.0.0.1:8480/intermediate.der'; } >fetched.ext
signed fetched intermediate fetched.ext
# What a front sends: the leaf, then the issuer below the root where there is one.
cat intermediate.pem >>chained.pem
cat valid.pem >>by-leaf.pem
cat plain.pem >>by-plain.pem
cat sub.pem intermediate.pem >>deep.pem
cat nonsigner.pem >>by-nonsigner.pem
cat client-ca.pem >>by-client-ca.pem
{
  printf '%s\n' "echo fetched >>'$PWD/fetches'"
  printf '%s\n' "printf 'HTTP/1.0 200 OK\\r\\nContent-Type: application/pkix-cert\\r\\n'"
  printf '%s\n' "printf 'Content-Length: $(wc -c <intermediate.der)\\r\\n\\r\\n'"
  printf '%s\n' "cat '$PWD/intermediate.der'"
} >serve-issuer.sh

printf 'basicConstraints=critical,CA:false\nkeyUsage=critical,digitalSignature\nextendedKeyUsage=codeSigning\n' >signing.ext
printf 'subjectKeyIdentifier=hash\nauthorityKeyIdentifier=keyid\n' >>signing.ext
signed signing root signing.ext
openssl pkcs12 -export -inkey signing.key -in signing.pem -certfile root.pem -passout pass:p12-Secret-7 -out signing.p12
printf 'basicConstraints=critical,CA:false\nkeyUsage=critical,digitalSignature\n' >tsa.ext
printf 'extendedKeyUsage=critical,timeStamping\nsubjectKeyIdentifier=hash\nauthorityKeyIdentifier=keyid\n' >>tsa.ext
signed tsa root tsa.ext
echo 01 >tsa-serial
printf '[tsa]\ndefault_tsa=test\n[test]\nserial=./tsa-serial\nsigner_digest=sha256\ndefault_policy=anyPolicy\n' >tsa.cnf
printf 'digests=sha256,sha384,sha512,sha1\naccuracy=secs:1\ness_cert_id_alg=sha256\n' >>tsa.cnf

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
