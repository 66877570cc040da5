#!/usr/bin/env bash
# Decides which Windows architecture this host's Wine can run, by trying it: "x86" where the
# 32-bit Wine loader runs, "x64" otherwise (kernels without 32-bit support refuse it with
# "Exec format error"). VEXA_WINE_ARCH=x86|x64 forces the choice.
# Prints the choice, the CMake preset of its test build, Debian's Wine loader for it and the
# kind of prefix it runs in ("x86 mingw-loopback /usr/lib/wine/wine win32" or
# "x64 mingw64-loopback /usr/lib/wine/wine64 win64") on standard output and one line saying
# why on standard error; fails with one sentence when Wine can't run at all. The scripts, the
# end-to-end suite, the benchmark and the Windows probes (with the architecture of their build
# forced) all ask here.
set -uo pipefail

wine32=/usr/lib/wine/wine    # Debian's loaders; /usr/bin/wine always picks the 32-bit one
wine64=/usr/lib/wine/wine64

say() { echo "Wine architecture: $*" >&2; }

case "${VEXA_WINE_ARCH:-}" in
  x86 | x64)
    say "${VEXA_WINE_ARCH} (set by VEXA_WINE_ARCH)"
    arch=$VEXA_WINE_ARCH
    ;;
  "") ;;
  *)
    echo "VEXA_WINE_ARCH must be x86 or x64, not \"$VEXA_WINE_ARCH\"." >&2
    exit 2
    ;;
esac

if [ -n "${arch:-}" ]; then
  :
elif why32=$("$wine32" --version 2>&1); then
  say "x86 (the 32-bit Wine loader runs here: $why32)"
  arch=x86
elif why64=$("$wine64" --version 2>&1); then
  why32=${why32##*: }
  say "x64 (the 32-bit Wine loader can't run here: ${why32:-missing}; 64-bit Wine runs: $why64)"
  arch=x64
else
  echo "Wine can't run on this host (${why64##*: }): install it with scripts/install-deps.sh." >&2
  exit 1
fi

case "$arch" in
  x86) echo "x86 mingw-loopback $wine32 win32" ;;
  x64) echo "x64 mingw64-loopback $wine64 win64" ;;
esac
