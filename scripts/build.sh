#!/usr/bin/env bash
# build.sh DIR [cmake options...]: configures (once) and builds into DIR.
set -euo pipefail
cd "$(dirname "$0")/.."
dir=$1; shift
jobs=$(nproc 2>/dev/null || echo 2)
if [ ! -f "$dir/build.ninja" ]; then
  cmake -S . -B "$dir" -G Ninja "$@"
fi
cmake --build "$dir" -j "$jobs"
