#!/usr/bin/env bash
# Builds the receive-path fuzzer with clang (libFuzzer, ASan, UBSan) and runs it.
#   scripts/fuzz.sh [seconds]     default 60
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-60}
dir=build-fuzz
CC=clang CXX=clang++ cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DKR3090_BUILD_GUI=OFF -DKR3090_BUILD_TESTS=OFF -DKR3090_BUILD_BENCH=OFF -DKR3090_FUZZ=ON \
  -DCMAKE_CXX_FLAGS="-fsanitize=fuzzer-no-link,address,undefined -fno-sanitize-recover=undefined" >/dev/null
cmake --build "$dir" --target comm_receive_fuzz >/dev/null
work=$(mktemp -d)
cp fuzz/corpus/* "$work/"
log="$dir/fuzz.log"
status=0
"$dir/fuzz/comm_receive_fuzz" -max_total_time="$seconds" -max_len=20000 -print_final_stats=1 \
  "$work" >"$log" 2>&1 || status=$?
# The coverage line of the last report, the final statistics, and any finding.
grep -E '^#[0-9]+' "$log" | tail -n 1
grep -E '^stat::|ERROR|SUMMARY|Test unit written' "$log" || true
[ "$status" -eq 0 ] && echo "fuzz: no findings in ${seconds}s" || echo "fuzz: FAILED (see $log)"
exit "$status"
