#!/usr/bin/env bash
# Builds everything with AddressSanitizer and UndefinedBehaviorSanitizer and
# runs every test, with LeakSanitizer on: a leak in a test or in a program a
# test starts and lets end fails the run, apart from what scripts/lsan.supp
# lists (ctest passes that file to the GoogleTest cases too).
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh --tests
bash scripts/build.sh build-test -DVELQOR_SANITIZE=ON -DCMAKE_BUILD_TYPE=Debug
# detect_leaks=1 comes last, so an ASAN_OPTIONS of the caller cannot turn it off.
export ASAN_OPTIONS=${ASAN_OPTIONS:+$ASAN_OPTIONS:}detect_leaks=1
export LSAN_OPTIONS=${LSAN_OPTIONS:+$LSAN_OPTIONS:}suppressions=$PWD/scripts/lsan.supp
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1}
jobs=$(nproc 2>/dev/null || echo 2)
cd build-test
ctest --output-on-failure -j "$((jobs * 2))" "$@"
