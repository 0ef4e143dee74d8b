#!/usr/bin/env bash
# Builds and runs every test. With --sanitize, the same suite in an
# AddressSanitizer + UndefinedBehaviorSanitizer build (folder build-asan).
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/setup-deps.sh

build=build
flags=(-DCMAKE_BUILD_TYPE=RelWithDebInfo)
if [ "${1:-}" = "--sanitize" ]; then
  build=build-asan
  flags=(-DCMAKE_BUILD_TYPE=Debug -DCK_SANITIZE=ON -DCK_BUILD_BENCH=OFF)
  export ASAN_OPTIONS="detect_leaks=1:abort_on_error=0:halt_on_error=1"
  export UBSAN_OPTIONS="halt_on_error=1:print_stacktrace=1"
  export LSAN_OPTIONS="suppressions=$PWD/scripts/lsan.supp:print_suppressions=0"
fi

cmake -S . -B "$build" -G Ninja "${flags[@]}"
cmake --build "$build"
ctest --test-dir "$build" --output-on-failure -j2
