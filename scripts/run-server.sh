#!/usr/bin/env bash
# Builds the programs and starts the server side in the foreground on
# loopback, with a default configuration under ./run (made on first use).
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh
bash scripts/build.sh build -DVELQOR_TESTS=OFF
root=$PWD/run
mkdir -p "$root/data/VELQOR"
export VELQOR_DATA_ROOT=$root/data
# One listener a line: "<listen address> <listen port>=<send address>,<server> <port>,<name>".
# Empty fields after "=" mean: connect to the host the client asks for.
[ -f "$root/data/VELQOR/http.ini" ] || printf '127.0.0.1 8080=\r\n' > "$root/data/VELQOR/http.ini"
echo "Data folder: $root/data/VELQOR (HTTP proxy on 127.0.0.1:8080)"
exec build/bin/orqhprx -v -w -e=VELQOR_DATA_ROOT -p=0 -f
