#!/usr/bin/env bash
# Installs what is missing, builds everything under AddressSanitizer and
# UndefinedBehaviorSanitizer, and runs every test. CI runs exactly this.
set -euo pipefail
cd "$(dirname "$0")/.."
tools/deps.sh
build=${BUILD_DIR:-build-test}
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Debug -DVELMORA_SANITIZE=ON
cmake --build "$build" -j"$(nproc)"
export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
ctest --test-dir "$build" --output-on-failure -j"$(nproc)" --timeout 600
