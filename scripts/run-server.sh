#!/usr/bin/env bash
# Builds the programs and runs the server side in the foreground from the
# settings under ./run (made on first use): see run-server-in.sh.
# Ctrl+C stops the service and every server it started.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh
bash scripts/build.sh build -DVELQOR_TESTS=OFF
exec bash scripts/run-server-in.sh "$PWD/run" "$PWD/build/bin"
