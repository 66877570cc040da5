#!/usr/bin/env bash
# The benchmark: builds vexa_update.exe for the architecture this host's Wine runs
# (scripts/wine-arch.sh: mingw-loopback or mingw64-loopback) with the Windows probes of
# bench/probes and the native save-loop benchmark (bench), then measures, each side by side with a
# reference of ours in one run: peak memory, download throughput, the save loop, start-up
# time and the program's size. A goal measured against a reference runs in alternating
# rounds, one run of each side per round, and is judged on the median of the rounds'
# ours/reference ratios, printed with their lowest and highest (bench/wine_bench.py). Prints
# per goal the figures, the ratio and "holds" or "MISSED", then a summary. Exits non-zero
# only when the benchmark itself failed, not when a goal is missed.
# Not part of the tests: CTest never runs it.
set -euo pipefail
cd "$(dirname "$0")/.."
began=$(date +%s)

bash scripts/install-deps.sh
arch=$(bash scripts/wine-arch.sh)
read -r VEXA_WINE_ARCH windows _ <<<"$arch"
export VEXA_WINE_ARCH
jobs=$(nproc)
for preset in "$windows" bench; do
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset" -j "$jobs"
done

status=0
python3 bench/wine_bench.py --build "build/$windows" \
  --save-loop build/bench/bench/vexa_save_loop_bench --out build/bench-wine || status=$?
echo "scripts/bench.sh took $(($(date +%s) - began)) s"
exit $status
