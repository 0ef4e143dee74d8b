#!/usr/bin/env bash
# Builds the program and starts its window.
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/setup-deps.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build --target vipcheckin
exec ./build/app/vipcheckin
