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

openssl req -x509 -newkey rsa:2048 -nodes -sha256 -days 3650 -keyout root.key -out root.crt \
  -subj "/CN=Tollumo Test Root" -addext "basicConstraints=critical,CA:TRUE" \
  -addext "keyUsage=critical,keyCertSign,cRLSign" 2>/dev/null

# issue NAME COMMON_NAME: NAME.key and NAME.crt, for code signing, issued by the test authority.
issue() {
  openssl req -newkey rsa:2048 -nodes -sha256 -keyout "$1.key" -subj "/CN=$2" 2>/dev/null |
    openssl x509 -req -CA root.crt -CAkey root.key -CAcreateserial -sha256 -days 3650 \
      -out "$1.crt" -extfile <(printf '%s\n' "basicConstraints=critical,CA:FALSE" \
        "keyUsage=critical,digitalSignature" "extendedKeyUsage=codeSigning") 2>/dev/null
}
issue vendor "Tollumo Test Vendor"
issue other "Other Test Publisher"
rm -f root.srl
