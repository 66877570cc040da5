#!/usr/bin/env bash
# Runs platform_probe.exe under Wine, staged alone in C:\probe.
#   run_probe.sh <platform_probe.exe>
# WINEPREFIX defaults to a 32-bit prefix of its own under /tmp (created on first use).
set -euo pipefail
export WINEPREFIX=${WINEPREFIX:-/tmp/vexa-platform-probe-$(id -u)} WINEARCH=win32
export LC_ALL=zh_CN.UTF-8 WINEDEBUG=-all
log=$(mktemp)
trap 'rm -f "$log"' EXIT
[ -d "$WINEPREFIX/drive_c/windows" ] || wineboot -i >"$log" 2>&1
stage="$WINEPREFIX/drive_c/probe"
rm -rf "$stage" && mkdir -p "$stage"
cp "$1" "$stage/platform_probe.exe"
status=0
wine 'C:\probe\platform_probe.exe' >"$log" 2>&1 || status=$?
cat "$log"
exit "$status"
