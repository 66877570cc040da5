#!/usr/bin/env bash
# Runs a probe program of the Windows layer under Wine, staged alone in C:\probe.
#   run_probe.sh <x86|x64> <probe.exe>
# The architecture is the probe's own (the build it came from): it picks Debian's Wine loader
# and the kind of prefix. WINEPREFIX defaults to a prefix of that kind under /tmp, made on
# first use. The probe's output is printed; on a failure the whole log is kept and named.
# Wine's server for the prefix is ended on every exit path.
set -euo pipefail
arch=$1 probe=$2
case "$arch" in
  x86) loader=/usr/lib/wine/wine WINEARCH=win32 ;;
  x64) loader=/usr/lib/wine/wine64 WINEARCH=win64 ;;
  *) echo "run_probe.sh: the architecture must be x86 or x64, not \"$arch\"" >&2; exit 2 ;;
esac
export WINEARCH WINELOADER=$loader WINEDEBUG=-all
export WINEPREFIX=${WINEPREFIX:-/tmp/vexa-platform-probe-$(id -u)-$arch}

log=$(mktemp /tmp/vexa-platform-probe-XXXXXX.log)
finish() {
  local status=$?
  wineserver -k >/dev/null 2>&1 || true
  if [ "$status" -eq 0 ]; then rm -f "$log"; else echo "(the whole log: $log)" >&2; fi
  exit "$status"
}
trap finish EXIT
trap 'exit 143' TERM INT

if [ ! -e "$WINEPREFIX/drive_c/windows/system32/kernel32.dll" ]; then
  if ! LC_ALL=zh_CN.UTF-8 "$loader" wineboot -i >"$log" 2>&1 \
    || [ ! -e "$WINEPREFIX/drive_c/windows/system32/kernel32.dll" ]; then
    tail -n 3 "$log" >&2
    echo "Wine could not create a $WINEARCH prefix in $WINEPREFIX with $loader: check that the" \
      "folder can be written and that this host runs $arch programs (scripts/wine-arch.sh)." >&2
    exit 1
  fi
fi
stage="$WINEPREFIX/drive_c/probe"
rm -rf "$stage" && mkdir -p "$stage"
name=$(basename "$probe")
cp "$probe" "$stage/$name"
status=0
LC_ALL=zh_CN.UTF-8 "$loader" "C:\\probe\\$name" >"$log" 2>&1 || status=$?
cat "$log"
exit "$status"
