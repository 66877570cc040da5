#!/usr/bin/env bash
# make_signed_sample.sh <folder> <program>: what the platform probe's check of a signer named by
# its key stages beside it, made with openssl and osslsigncode in <folder>: test certificates
# (make_test_certs.sh, kept between runs), signed.exe (<program> signed by the test vendor),
# root.der and vendor.der (the authority, for the probe's machine roots, and the vendor's
# certificate, for its Disallowed store) and keys.txt: the SHA-256 of the SubjectPublicKeyInfo
# (DER) of the vendor's, the authority's and the other publisher's certificates, a line each.
set -euo pipefail
out=$1 program=$2
bash "$(dirname "$0")/../e2e/make_test_certs.sh" "$out/certs"
cd "$out"
rm -f signed.exe
osslsigncode sign -h sha256 -certs certs/vendor.crt -key certs/vendor.key -in "$program" \
  -out signed.exe >/dev/null
openssl x509 -in certs/root.crt -outform der -out root.der
openssl x509 -in certs/vendor.crt -outform der -out vendor.der
for name in vendor root other; do
  openssl x509 -in "certs/$name.crt" -pubkey -noout | openssl pkey -pubin -outform der |
    openssl dgst -sha256 -r | cut -c1-64
done >keys.txt
