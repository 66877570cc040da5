#!/usr/bin/env bash
# Runs every test on a fresh Debian machine: installs what is needed, builds the native
# logic (plainly and under AddressSanitizer + UBSan), cross-builds vexa_update.exe for
# 32-bit Windows, and runs the unit tests and the end-to-end suite under Wine with CTest.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh

jobs=$(nproc)
for preset in mingw-loopback mingw linux linux-asan; do
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset" -j "$jobs"
done

# The cross build above is there: a missing program fails the end-to-end suite, never skips it.
export E2E_REQUIRED=1
status=0
ctest --preset linux-asan || status=1
ctest --preset linux || status=1
ctest --test-dir build/mingw-loopback --output-on-failure || status=1  # the Windows platform layer under Wine
exit $status
