#!/usr/bin/env bash
# Fuzzes what the program reads from the network and the package: builds the fuzz targets
# (preset fuzz: Debian's clang, libFuzzer, AddressSanitizer and UBSan) and runs each for the
# given seconds (default 60), starting from its seeds in tests/fuzz/corpus/<target> and going on
# in build/fuzz/corpus/<target>, which keeps what it finds from run to run. Prints per target
# the executions, the coverage (edges and features) and "0 crashes", or where the input that
# crashed or broke an invariant was written (build/fuzz/crashes/); exits non-zero then.
#   scripts/fuzz.sh [seconds]
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-60}

bash scripts/install-deps.sh
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz -j "$(nproc)"

status=0
mkdir -p build/fuzz/crashes
for target in response attempts brand window; do
  work=build/fuzz/corpus/$target log=build/fuzz/$target.log
  mkdir -p "$work"
  if build/fuzz/tests/fuzz/${target}_fuzz -max_total_time="$seconds" -print_final_stats=1 \
    -artifact_prefix="build/fuzz/crashes/$target-" "$work" "tests/fuzz/corpus/$target" \
    >"$log" 2>&1; then
    runs=$(sed -n 's/^stat::number_of_executed_units: //p' "$log")
    read -r edges features < <(grep -o 'cov: [0-9]* ft: [0-9]*' "$log" | tail -n 1 |
      awk '{print $2, $4}')
    echo "$target: $runs executions in $seconds s, coverage $edges edges ($features features)," \
      "0 crashes"
  else
    found=$(sed -n 's/.*Test unit written to \(.*\)/\1/p' "$log" | tail -n 1)
    echo "$target: FOUND a fault, input ${found:-not written}; $(grep -m 1 -E \
      'invariant broken|ERROR: |runtime error' "$log" || true) (log: $log)"
    status=1
  fi
done
exit $status
