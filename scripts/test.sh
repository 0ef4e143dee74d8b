#!/usr/bin/env bash
# Builds and runs every test, in its own build folder (build-test), with the
# service's origins pointed at fixed loopback ports where the tests' fake
# service listens; ./scripts/run.sh builds the real program in build. With
# --sanitize, the same suite in an AddressSanitizer + UndefinedBehaviorSanitizer
# build (folder build-asan).
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/setup-deps.sh

# Below Linux's ephemeral port range, so no outgoing connection takes them.
origins=(
  -DSESSION_REFRESH_ORIGIN=https://127.0.0.1:28311
  -DMEMBERSHIP_TASK_ORIGIN=https://127.0.0.1:28311
  -DMOBILE_CHECKIN_ORIGIN=http://127.0.0.1:28312
  -DSERVICE_DOMAIN=m.video.test
  -DPUSH_ENDPOINT_BASE=https://127.0.0.1:28313/push/
)

build=build-test
flags=(-DCMAKE_BUILD_TYPE=RelWithDebInfo)
if [ "${1:-}" = "--sanitize" ]; then
  build=build-asan
  flags=(-DCMAKE_BUILD_TYPE=Debug -DCK_SANITIZE=ON -DCK_BUILD_BENCH=OFF)
  export ASAN_OPTIONS="detect_leaks=1:abort_on_error=0:halt_on_error=1"
  export UBSAN_OPTIONS="halt_on_error=1:print_stacktrace=1"
  export LSAN_OPTIONS="suppressions=$PWD/scripts/lsan.supp:print_suppressions=0"
fi

cmake -S . -B "$build" -G Ninja "${flags[@]}" "${origins[@]}"
cmake --build "$build"
ctest --test-dir "$build" --output-on-failure -j2
