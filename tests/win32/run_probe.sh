#!/usr/bin/env bash
# run_probe.sh <x86|x64> <probe.exe> [file...]: runs a probe of the Windows layer under Wine in
# C:\probe, alone but for the files it needs; its output and exit code are the probe's, and the
# pictures it leaves there (*.bmp) are copied to the current folder. scripts/wine-arch.sh,
# forced to the probe's architecture, names Debian's Wine loader and the prefix's kind;
# WINEPREFIX defaults to one under /tmp, made on first use. wineserver is ended on every exit
# (the EXIT trap runs on SIGTERM and SIGINT too).
set -euo pipefail
arch=$1 probe=$2
shift 2
choice=$(VEXA_WINE_ARCH=$arch bash "$(dirname "$0")/../../scripts/wine-arch.sh")
read -r _ _ loader WINEARCH <<<"$choice"
# The probes' text files are read and written in the code page of a Chinese system (936).
export WINEARCH WINELOADER=$loader WINEDEBUG=-all LC_ALL=zh_CN.UTF-8
export WINEPREFIX=${WINEPREFIX:-/tmp/vexa-platform-probe-$(id -u)-$arch}
trap 'wineserver -k >/dev/null 2>&1 || true' EXIT

"$(dirname "$0")/../../scripts/wine-prefix.sh"
stage="$WINEPREFIX/drive_c/probe"
rm -rf "$stage" && mkdir -p "$stage" && cp "$probe" "$@" "$stage/"
status=0
"$loader" "C:\\probe\\$(basename "$probe")" || status=$?
for picture in "$stage"/*.bmp; do
  [ -e "$picture" ] && cp "$picture" .
done
exit $status
