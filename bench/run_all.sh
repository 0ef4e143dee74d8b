#!/usr/bin/env bash
# Runs every benchmark of bench/ in one go on this machine and writes the
# table of docs/performance.md (ours, the reference, the ratio).
#
# Usage: bench/run_all.sh [output.md]   (default docs/performance.md)
# Builds in build-bench (Release) with the service's origins on loopback, as
# the test build has them, so the whole-run benchmark can reach the fake service.
set -euo pipefail
cd "$(dirname "$0")/.."
out=${1:-docs/performance.md}
./scripts/setup-deps.sh
cmake -S . -B build-bench -G Ninja -DCMAKE_BUILD_TYPE=Release -DCK_BUILD_TESTS=ON \
  -DSESSION_REFRESH_ORIGIN=https://127.0.0.1:28311 -DMEMBERSHIP_TASK_ORIGIN=https://127.0.0.1:28311 \
  -DMOBILE_CHECKIN_ORIGIN=http://127.0.0.1:28312 -DSERVICE_DOMAIN=m.video.test \
  -DPUSH_ENDPOINT_BASE=https://127.0.0.1:28313/push/ >/dev/null
cmake --build build-bench --target text_bench web_bench exchange_bench checkin_bench app_start_probe vipcheckin

results=$(mktemp -d)
trap 'rm -rf "$results"' EXIT
for b in text web exchange checkin; do
  echo "== ${b}_bench"
  "build-bench/bench/${b}_bench" --benchmark_out="$results/$b.json" --benchmark_out_format=json \
    --benchmark_min_time=0.5 >/dev/null
done
echo "== app_idle.sh"
bench/app_idle.sh build-bench | tee "$results/app.txt"

python3 bench/report.py "$results" > "$out"
echo "wrote $out"
