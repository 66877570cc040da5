#!/usr/bin/env bash
# Runs a probe program of the Windows layer under Wine, staged alone in C:\probe; its output
# and exit code are the probe's.
#   run_probe.sh <x86|x64> <probe.exe>
# The architecture is the probe's own (the build it came from): scripts/wine-arch.sh, forced to
# it, names Debian's Wine loader and the kind of prefix. WINEPREFIX defaults to a prefix of that kind under /tmp, made on
# first use (scripts/wine-prefix.sh). Wine's server for the prefix is ended on every exit path (bash runs the EXIT trap
# on SIGTERM and SIGINT too).
set -euo pipefail
arch=$1 probe=$2
choice=$(VEXA_WINE_ARCH=$arch bash "$(dirname "$0")/../../scripts/wine-arch.sh")
read -r _ _ loader WINEARCH <<<"$choice"
# The probes' text files are read and written in the code page of a Chinese system (936).
export WINEARCH WINELOADER=$loader WINEDEBUG=-all LC_ALL=zh_CN.UTF-8
export WINEPREFIX=${WINEPREFIX:-/tmp/vexa-platform-probe-$(id -u)-$arch}
trap 'wineserver -k >/dev/null 2>&1 || true' EXIT

"$(dirname "$0")/../../scripts/wine-prefix.sh"
stage="$WINEPREFIX/drive_c/probe"
rm -rf "$stage" && mkdir -p "$stage" && cp "$probe" "$stage/"
"$loader" "C:\\probe\\$(basename "$probe")"
