#!/usr/bin/env bash
# Builds everything with AddressSanitizer and UndefinedBehaviorSanitizer and
# runs every test.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh --tests
bash scripts/build.sh build-test -DVELQOR_SANITIZE=ON -DCMAKE_BUILD_TYPE=Debug
export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=0}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1}
jobs=$(nproc 2>/dev/null || echo 2)
cd build-test
ctest --output-on-failure -j "$((jobs * 2))" "$@"
