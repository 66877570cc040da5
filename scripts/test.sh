#!/usr/bin/env bash
# Runs every test on a fresh Debian machine: installs what is needed, checks that every C++
# file is formatted as .clang-format says, builds the native logic (plainly, under
# AddressSanitizer + UBSan, and as 32-bit programs like the shipped one, run through qemu-i386
# where this kernel can't run them) and the native benchmarks, cross-builds vexa_update.exe for
# 32-bit Windows (the shipped program) and for 64-bit Windows (the same code, for hosts that
# can't run 32-bit programs), and runs the unit tests, the end-to-end suite (against our
# download site, and against Debian's nginx) and the Windows platform probes with CTest; the
# signed builds (signer check on, program signed) run the signature suite, the pinned builds
# (components' SHA-256 pinned) the pinned-components suite. The Windows tests run the build of
# the architecture this host's Wine runs (scripts/wine-arch.sh; VEXA_WINE_ARCH=x86|x64 forces
# it).
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh
# One layout for the whole tree: a C++ file that does not match .clang-format fails the run.
find src tests bench -name '*.cpp' -o -name '*.h' | xargs clang-format --dry-run --Werror
arch=$(bash scripts/wine-arch.sh)
read -r VEXA_WINE_ARCH windows _ <<<"$arch"
export VEXA_WINE_ARCH

jobs=$(nproc)
# A test certificate authority and code-signing certificates (kept between runs) for the signed
# builds, which open only installers the test vendor signed and are signed themselves, and the
# certificate of the https test site the pinned builds fetch from.
bash tests/e2e/make_test_certs.sh build/test-certs
# The pinned builds take the sums of the unpinned builds' test component, so they come after.
# The size check (program_size) measures the shipped program, the release preset mingw, which
# stops without a signer and sums: it is given them as a release is, the test vendor's key (as
# the README recommends) and the sums of the test component.
vendor_key=$(openssl x509 -in build/test-certs/vendor.crt -pubkey -noout |
  openssl pkey -pubin -outform der | sha256sum | cut -c1-64)
release=(-DINSTALLER_SIGNER="sha256:$vendor_key"
  -DCOMPONENT_SHA256SUMS="$PWD/build/mingw-loopback/tests/e2e/probes/component.sha256")
for preset in mingw-loopback mingw64-loopback mingw mingw-loopback-mirrored \
  mingw64-loopback-mirrored mingw-loopback-signed mingw64-loopback-signed mingw-loopback-pinned \
  mingw64-loopback-pinned linux linux-asan linux-i386 bench; do
  args=()
  [ "$preset" = mingw ] && args=("${release[@]}")
  cmake --preset "$preset" "${args[@]}" >/dev/null
  cmake --build --preset "$preset" -j "$jobs"
done

# The cross build above is there: a missing program fails the end-to-end suite, never skips it.
export E2E_REQUIRED=1
status=0
ctest --preset linux-asan || status=1
ctest --preset linux || status=1
ctest --preset linux-i386 || status=1
# The Windows platform layer under Wine, in the build the end-to-end suite used.
ctest --test-dir "build/$windows" --output-on-failure || status=1
# Each fuzz target for a few seconds, over its seeds and the inputs that once found a fault.
bash scripts/fuzz.sh 10 || status=1
exit $status
