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

# Fuzz targets: built with clang in their own folder (only they and the
# libraries they compile in), then each replays its committed seeds and
# regressions once. Timed fuzzing is done by hand, not here.
fuzzbuild=${FUZZ_BUILD_DIR:-build-fuzz}
CC=clang CXX=clang++ cmake -S . -B "$fuzzbuild" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVELMORA_FUZZ=ON
cmake --build "$fuzzbuild" -j"$(nproc)" --target fuzz_all
ctest --test-dir "$fuzzbuild" -L fuzz --output-on-failure --timeout 300
