#!/usr/bin/env bash
# Smoke test of vexa_update.exe under Wine and a private X server:
#   (a) without the brand file the "unpack first" box appears, the window does not, C:\vexaoem.dat
#       is not written, and closing the box ends the program;
#   (b) with the brand file the window appears, C:\vexaoem.dat is written, and closing the
#       window ends the program.
# Usage: smoke.sh <vexa_update.exe> <smoke_probe.exe> <work folder>. Exit code 77: skipped.
set -u
exe=$1 probe=$2 work=$3

skip() { echo "SKIP: $*"; exit 77; }
[ -f "$exe" ] || skip "$exe has not been built (cmake --build --preset mingw-loopback)"
[ -f "$probe" ] || skip "the probe has not been built (no MinGW-w64 compiler)"
for tool in wine wineboot wineserver Xvfb; do
  command -v "$tool" >/dev/null || skip "$tool is not installed (scripts/install-deps.sh)"
done
mkdir -p "$work"

# A display number nobody uses.
display=
for n in $(seq 150 199); do
  if [ ! -e "/tmp/.X$n-lock" ] && [ ! -e "/tmp/.X11-unix/X$n" ]; then display=$n; break; fi
done
[ -n "$display" ] || skip "no free X display number"
Xvfb ":$display" -screen 0 1024x768x24 -nolisten tcp >"$work/xvfb.log" 2>&1 &
xvfb=$!

export DISPLAY=":$display" WINEPREFIX="$work/wine" WINEARCH=win32 LC_ALL=zh_CN.UTF-8 WINEDEBUG=-all
cleanup() {
  wineserver -k >/dev/null 2>&1
  kill -TERM "$xvfb" 2>/dev/null  # SIGTERM: Xvfb removes its lock file
  wait "$xvfb" 2>/dev/null
}
trap cleanup EXIT
for _ in $(seq 50); do [ -e "/tmp/.X11-unix/X$display" ] && break; sleep 0.1; done

# Output of Wine programs goes to files: Wine's helpers keep pipes open.
if [ ! -f "$WINEPREFIX/system.reg" ]; then
  wineboot -i >"$work/wineboot.log" 2>&1 || { echo "FAIL: wineboot, see $work/wineboot.log"; exit 1; }
fi
folder="$WINEPREFIX/drive_c/smoke"
mkdir -p "$folder"
cp "$exe" "$folder/vexa_update.exe"
cp "$probe" "$folder/smoke_probe.exe"
encoded="$WINEPREFIX/drive_c/vexaoem.dat"
cd "$folder" || exit 1

failures=0
# run <case> <probe mode> <expect C:\vexaoem.dat: yes|no>
run() {
  rm -f "$encoded"
  wine vexa_update.exe >"$work/program-$1.log" 2>&1 &
  local program=$!
  wine smoke_probe.exe "$2" >"$work/probe-$1.log" 2>&1
  local result=$?
  if [ "$result" -ne 0 ]; then
    kill "$program" 2>/dev/null
    echo "FAIL ($1): $(tr -d '\r' <"$work/probe-$1.log")"
    failures=$((failures + 1))
  elif [ "$3" = yes ] && [ ! -f "$encoded" ]; then
    echo "FAIL ($1): C:\\vexaoem.dat was not written"
    failures=$((failures + 1))
  elif [ "$3" = no ] && [ -f "$encoded" ]; then
    echo "FAIL ($1): C:\\vexaoem.dat was written although the brand file is missing"
    failures=$((failures + 1))
  else
    echo "ok ($1)"
  fi
  wait "$program" 2>/dev/null
}

rm -f Vexaoem.dat
run no-brand box no
printf '\xb2\xe2\xca\xd4\r\n' >Vexaoem.dat  # one line in code page 936
run brand window yes

[ "$failures" -eq 0 ]
