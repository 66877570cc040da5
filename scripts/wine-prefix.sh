#!/usr/bin/env bash
# Makes the Wine prefix WINEPREFIX of the kind WINEARCH with the loader WINELOADER (as
# scripts/wine-arch.sh names them), unless it is there already. Fails with one sentence on
# standard error when Wine could not make it; Wine's own output goes to standard error too.
# The Windows probes (tests/win32/run_probe.sh) and the end-to-end harness both make their
# prefixes here.
set -uo pipefail
kernel="$WINEPREFIX/drive_c/windows/system32/kernel32.dll"
[ -e "$kernel" ] || "$WINELOADER" wineboot -i >&2
if [ ! -e "$kernel" ]; then
  echo "Wine could not create a $WINEARCH prefix in $WINEPREFIX: check that $WINELOADER runs" \
    "here and the folder can be written, or choose the other build with VEXA_WINE_ARCH" \
    "(scripts/wine-arch.sh)." >&2
  exit 1
fi
