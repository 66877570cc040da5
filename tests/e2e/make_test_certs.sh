#!/usr/bin/env bash
# Makes with openssl, in a folder (default build/test-certs), the test certificates of the
# signed builds and tests, each NAME.crt and NAME.key: root (a test authority, which issues the
# others), vendor and other (code signing: "Tollumo Test Vendor", "Other Test Publisher"), site
# (the https download site: 127.0.0.1, localhost). Those already there are kept, so builds and
# tests share one authority; a missing one is issued; delete the folder to make new ones.
set -euo pipefail
out=${1:-$(dirname "$0")/../../build/test-certs}
mkdir -p "$out"
cd "$out"

if [ ! -f root.crt ]; then  # a new authority: what the old one issued goes
  rm -f vendor.crt other.crt site.crt
  openssl req -x509 -newkey rsa:2048 -nodes -sha256 -days 3650 -keyout root.key -out root.crt \
    -subj "/CN=Tollumo Test Root" -addext "basicConstraints=critical,CA:TRUE" \
    -addext "keyUsage=critical,keyCertSign,cRLSign" 2>/dev/null
fi

# issue NAME COMMON_NAME EXTENSION...: NAME.key and NAME.crt from the authority, unless there.
issue() {
  [ -f "$1.crt" ] && return
  openssl req -newkey rsa:2048 -nodes -sha256 -keyout "$1.key" -subj "/CN=$2" 2>/dev/null |
    openssl x509 -req -CA root.crt -CAkey root.key -CAcreateserial -sha256 -days 3650 \
      -out "$1.crt" -extfile <(printf '%s\n' "basicConstraints=critical,CA:FALSE" "${@:3}") \
      2>/dev/null
}
signing=("keyUsage=critical,digitalSignature" "extendedKeyUsage=codeSigning")
issue vendor "Tollumo Test Vendor" "${signing[@]}"
issue other "Other Test Publisher" "${signing[@]}"
# Windows matches an address in the URL against the IP entry; Wine 8 matches the server name
# only against DNS entries (12038 otherwise), hence 127.0.0.1 as a DNS name too.
issue site 127.0.0.1 "keyUsage=critical,digitalSignature,keyEncipherment" \
  "extendedKeyUsage=serverAuth" "subjectAltName=IP:127.0.0.1,DNS:localhost,DNS:127.0.0.1"
rm -f root.srl
