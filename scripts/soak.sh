#!/usr/bin/env bash
# Soak test of the idle window: runs it for the given minutes (default 10)
# while two busy loops keep both cores loaded, and checks that every second
# saw exactly one tick of each timer and that resident memory stayed flat.
set -euo pipefail
cd "$(dirname "$0")/.."
minutes=${1:-10}
./scripts/setup-deps.sh
cmake -S . -B build-test -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build-test --target idle_soak

load=()
cleanup() { for pid in "${load[@]}"; do kill "$pid" 2>/dev/null || true; done; }
trap cleanup EXIT
for _ in 1 2; do
  # Bounded: each loop ends by itself shortly after the soak would.
  timeout $(( minutes * 60 + 60 ))s sh -c 'while :; do :; done' &
  load+=($!)
done
QT_QPA_PLATFORM=${QT_QPA_PLATFORM:-offscreen} ./build-test/tests/idle_soak "$minutes"
