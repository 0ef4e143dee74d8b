#!/usr/bin/env bash
# Builds the libFuzzer targets with clang (ASan + UBSan) and runs each for
# the given number of seconds (default 20), starting from the seeds in
# fuzz/corpus/<target>. New inputs go to fuzz/out/, never into the seeds.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-20}
./scripts/setup-deps.sh
cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
  -DCK_BUILD_FUZZ=ON -DCK_BUILD_TESTS=OFF -DCK_BUILD_BENCH=OFF -DCK_BUILD_APP=OFF
cmake --build build-fuzz
export ASAN_OPTIONS="detect_leaks=1:halt_on_error=1"
export UBSAN_OPTIONS="halt_on_error=1:print_stacktrace=1"
status=0
for exe in build-fuzz/fuzz/*_fuzz; do
  name=$(basename "$exe" _fuzz)
  out=fuzz/out/$name
  mkdir -p "$out" "fuzz/out/crashes-$name"
  echo "== $name: $seconds s"
  if ! "$exe" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=4096 -max_len=65536 \
      -artifact_prefix="fuzz/out/crashes-$name/" -print_final_stats=1 \
      "$out" "fuzz/corpus/$name" 2>"fuzz/out/$name.log"; then
    tail -n 60 "fuzz/out/$name.log"
    status=1
  else
    grep -E 'stat::number_of_executed_units|Done [0-9]+ runs' "fuzz/out/$name.log" | tail -n 2
  fi
done
exit $status
