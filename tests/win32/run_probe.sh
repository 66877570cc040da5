#!/usr/bin/env bash
# Runs platform_probe.exe under Wine against probe_server.py on loopback.
#   run_probe.sh <platform_probe.exe>
# WINEPREFIX defaults to a 32-bit prefix of its own under /tmp (created on first use). The
# prefix's cmd.exe is replaced by the probe for the run and put back afterwards.
set -euo pipefail
if [ -z "${DISPLAY:-}" ]; then exec xvfb-run -a "$0" "$@"; fi

probe=$(realpath "$1")
here=$(cd "$(dirname "$0")" && pwd)
export WINEPREFIX=${WINEPREFIX:-/tmp/vexa-platform-probe-$(id -u)} WINEARCH=win32
export LC_ALL=zh_CN.UTF-8 WINEDEBUG=-all WINEDLLOVERRIDES="cmd.exe=n"
unset http_proxy https_proxy HTTP_PROXY HTTPS_PROXY no_proxy NO_PROXY
work=$(mktemp -d)
[ -d "$WINEPREFIX/drive_c/windows" ] || wineboot -i >"$work/wineboot.log" 2>&1

system="$WINEPREFIX/drive_c/windows/system32"
[ -d "$WINEPREFIX/drive_c/windows/syswow64" ] && system="$WINEPREFIX/drive_c/windows/syswow64"
cp "$system/cmd.exe" "$work/cmd.exe"
python3 "$here/probe_server.py" "$work/port" &
server=$!
cleanup() {
  kill "$server" 2>/dev/null || true
  cp "$work/cmd.exe" "$system/cmd.exe"
  rm -rf "$work"
}
trap cleanup EXIT
for _ in $(seq 50); do [ -s "$work/port" ] && break; sleep 0.1; done

stage="$WINEPREFIX/drive_c/probe"
rm -rf "$stage" && mkdir -p "$stage"
cp "$probe" "$stage/platform_probe.exe"
cp "$probe" "$stage/cmd.exe"  # planted beside the program: must never run
cp "$probe" "$system/cmd.exe"
status=0
wine 'C:\probe\platform_probe.exe' "$(cat "$work/port")" >"$work/probe.log" 2>&1 || status=$?
cat "$work/probe.log"
exit "$status"
