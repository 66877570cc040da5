#!/usr/bin/env bash
# Makes the test certificates for signed builds and the signature tests with openssl, in a
# folder (default build/test-certs):
#   root.crt root.key                 a test certificate authority
#   vendor.crt vendor.key             code signing, common name "Tollumo Test Vendor"
#   other.crt other.key               code signing, common name "Other Test Publisher"
# Both code-signing certificates are issued by the test authority. Certificates already
# there are kept, so a signed build and the tests keep using the same authority; delete the
# folder to make new ones.
set -euo pipefail
out=${1:-$(dirname "$0")/../../build/test-certs}
mkdir -p "$out"
cd "$out"

if [ -f root.crt ] && [ -f vendor.crt ] && [ -f other.crt ]; then exit 0; fi

days=3650
openssl req -x509 -newkey rsa:2048 -nodes -sha256 -days "$days" -keyout root.key -out root.crt \
  -subj "/CN=Tollumo Test Root" \
  -addext "basicConstraints=critical,CA:TRUE" \
  -addext "keyUsage=critical,keyCertSign,cRLSign" 2>/dev/null

for name in vendor other; do
  case $name in
    vendor) cn="Tollumo Test Vendor" ;;
    other) cn="Other Test Publisher" ;;
  esac
  openssl req -newkey rsa:2048 -nodes -sha256 -keyout "$name.key" -out "$name.csr" \
    -subj "/CN=$cn" 2>/dev/null
  printf '%s\n' "basicConstraints=critical,CA:FALSE" "keyUsage=critical,digitalSignature" \
    "extendedKeyUsage=codeSigning" >"$name.ext"
  openssl x509 -req -in "$name.csr" -CA root.crt -CAkey root.key -CAcreateserial -sha256 \
    -days "$days" -extfile "$name.ext" -out "$name.crt" 2>/dev/null
  rm -f "$name.csr" "$name.ext"
done
rm -f root.srl
