#!/usr/bin/env bash
# Builds the fuzzers with clang (libFuzzer, ASan, UBSan) and runs each in turn:
# the receive path (seeds in fuzz/corpus) and the result-file reader (seeds in
# fuzz/corpus-import).
#   scripts/fuzz.sh [seconds] [target...]     default 60 seconds each, every target
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh ci
seconds=${1:-60}
shift || true
targets=("$@")
[ ${#targets[@]} -gt 0 ] || targets=(comm_receive_fuzz result_import_fuzz)
dir=build-fuzz
CC=clang CXX=clang++ cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DKR3090_BUILD_GUI=OFF -DKR3090_BUILD_TESTS=OFF -DKR3090_BUILD_BENCH=OFF -DKR3090_FUZZ=ON \
  -DCMAKE_CXX_FLAGS="-fsanitize=fuzzer-no-link,address,undefined -fno-sanitize-recover=undefined" >/dev/null
cmake --build "$dir" --target "${targets[@]}" >/dev/null
status=0
for target in "${targets[@]}"; do
  case $target in
    result_import_fuzz) corpus=fuzz/corpus-import ;;
    *) corpus=fuzz/corpus ;;
  esac
  work=$(mktemp -d)
  cp "$corpus"/* "$work/"
  log="$dir/$target.log"
  run=0
  "$dir/fuzz/$target" -max_total_time="$seconds" -max_len=20000 -print_final_stats=1 \
    "$work" >"$log" 2>&1 || run=$?
  # The coverage line of the last report, the final statistics, and any finding.
  echo "--- $target"
  grep -E '^#[0-9]+' "$log" | tail -n 1
  grep -E '^stat::|ERROR|SUMMARY|Test unit written' "$log" || true
  if [ "$run" -eq 0 ]; then
    echo "fuzz: $target: no findings in ${seconds}s"
  else
    echo "fuzz: $target: FAILED (see $log)"
    status=$run
  fi
  rm -rf "$work"
done
exit "$status"
