#!/usr/bin/env bash
# SOCKS relay benchmark: orqcprx beside Dante (danted), both in front of
# one local nginx on loopback ports.
#
#   bash bench/socks_relay.sh            # 10 s per measurement
#   BENCH_SECONDS=30 BENCH_WORKERS=16 bash bench/socks_relay.sh
#
# nginx serves a 1 KiB and a 16 MiB file. bench/socks_load.py drives each
# proxy with SOCKS 5 CONNECTs to nginx, a new SOCKS connection for every
# request: connections per second for the 1 KiB file (BENCH_WORKERS
# processes, 8 by default) and MiB per second for the 16 MiB file (4 at a
# time). nginx's port is of no known kind for the engine (no socks-ptl.ini
# row names it), so the engine tunnels it as Dante does; its daily log is
# off and no scan server runs. The script prints each figure and the
# engine's ratio to Dante (target 1.0 on both).
#
# Needs root for the package install (the build packages, nginx,
# dante-server) when they are missing. Everything runs on 127.0.0.1 and
# stops by itself.
set -euo pipefail

ROOT=$(cd "$(dirname "$0")/.." && pwd)
SECONDS_PER_RUN=${BENCH_SECONDS:-10}
WORKERS=${BENCH_WORKERS:-8}
BUILD=${BENCH_BUILD:-$ROOT/build-bench}

# shellcheck source=bench/ports.sh
. "$ROOT/bench/ports.sh"
# shellcheck source=bench/nginx_origin.sh
. "$ROOT/bench/nginx_origin.sh"

bash "$ROOT/scripts/deps.sh" nginx dante-server python3
cmake -S "$ROOT" -B "$BUILD" -G Ninja -DCMAKE_BUILD_TYPE=Release -DVELQOR_SANITIZE=OFF -DVELQOR_TESTS=OFF >/dev/null
cmake --build "$BUILD" --target orqhprx >/dev/null

WORK=$(mktemp -d /tmp/velqor-bench-socks.XXXXXX)
chmod 755 "$WORK"
PIDS=()
cleanup() {
  stop_pids "${PIDS[@]}"
  rm -rf "$WORK"
}
trap cleanup EXIT
ulimit -n 65536 2>/dev/null || true

# Origin: nginx with a 1 KiB and a 16 MiB file.
mkdir -p "$WORK/www"
head -c 1024 /dev/urandom >"$WORK/www/1k.bin"
head -c $((16 * 1024 * 1024)) /dev/urandom >"$WORK/www/16m.bin"
start_nginx_origin "$WORK/www" auto 4096 "sendfile on;"

# orqcprx: the SOCKS proxy, no daily log, no scan server.
ENGINE_PORT=$(free_port)
mkdir -p "$WORK/engine/VELQOR/cache" "$WORK/engine/pipes"
printf '127.0.0.1 %d=\r\n' "$ENGINE_PORT" >"$WORK/engine/VELQOR/socks.ini"
printf "'no rows: every destination is tunnelled\r\n" >"$WORK/engine/VELQOR/socks-ptl.ini"
VELQOR_BENCH_ROOT="$WORK/engine" VELQOR_PIPE_DIR="$WORK/engine/pipes" \
  "$BUILD/bin/orqcprx" -e=VELQOR_BENCH_ROOT -p=5 -f >/dev/null 2>&1 &
PIDS+=($!)
wait_port "$ENGINE_PORT"

# Dante: no authentication, loopback only, logging to a file.
DANTE_PORT=$(free_port)
mkdir -p "$WORK/dante"
cat >"$WORK/dante/danted.conf" <<CONF
logoutput: $WORK/dante/danted.log
internal: 127.0.0.1 port = $DANTE_PORT
external: 127.0.0.1
clientmethod: none
socksmethod: none
user.privileged: root
user.unprivileged: nobody
client pass { from: 127.0.0.0/8 to: 0.0.0.0/0 log: error }
socks pass { from: 127.0.0.0/8 to: 0.0.0.0/0 log: error }
CONF
danted -f "$WORK/dante/danted.conf" -p "$WORK/dante/danted.pid" >/dev/null 2>&1 &
PIDS+=($!)
wait_port "$DANTE_PORT"

LOAD="python3 $ROOT/bench/socks_load.py"
# Both proxies must carry the big file whole before they are measured.
for port in "$ENGINE_PORT" "$DANTE_PORT"; do
  read -r _ _ errors < <($LOAD "$port" "$NGINX_PORT" /16m.bin $((16 * 1024 * 1024)) 0.1 1)
  [ "$errors" = 0 ] || { echo "proxy on port $port did not relay the 16 MiB file whole" >&2; exit 1; }
done

declare -A CPS MIBS ERR
for name in engine dante; do
  case $name in engine) port=$ENGINE_PORT ;; dante) port=$DANTE_PORT ;; esac
  read -r c _ e1 < <($LOAD "$port" "$NGINX_PORT" /1k.bin 1024 "$SECONDS_PER_RUN" "$WORKERS")
  read -r _ m e2 < <($LOAD "$port" "$NGINX_PORT" /16m.bin $((16 * 1024 * 1024)) "$SECONDS_PER_RUN" 4)
  CPS[$name]=$c MIBS[$name]=$m ERR[$name]=$((e1 + e2))
done

ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", (b > 0) ? a / b : 0 }'; }

printf '\n%-8s %16s %12s %8s\n' proxy "connections/s" "MiB/s" errors
for name in engine dante; do
  printf '%-8s %16s %12s %8s\n' "$name" "${CPS[$name]}" "${MIBS[$name]}" "${ERR[$name]}"
done
printf '\nengine / Dante: connections/s %s, MiB/s %s (target 1.0 on both)\n' \
  "$(ratio "${CPS[engine]}" "${CPS[dante]}")" "$(ratio "${MIBS[engine]}" "${MIBS[dante]}")"
