#!/usr/bin/env bash
# HTTP relay benchmark: orqhprx beside tinyproxy and Squid, all in front of
# one local nginx on loopback ports.
#
#   bash bench/http_relay.sh            # 10 s per measurement
#   BENCH_SECONDS=30 bash bench/http_relay.sh
#   BENCH_DATA_ROOT=/dev/shm bash bench/http_relay.sh   # engine spool on tmpfs
#
# nginx serves a 1 KiB and a 16 MiB file. Each proxy is driven by wrk with
# keep-alive and absolute-form requests: requests per second for the 1 KiB
# file at 64 and at 256 connections, and MiB per second for repeated 16 MiB
# downloads (4 connections). orqhprx runs with keep-alive on, logs off and
# no scan or filter server (its pipe calls fail at once and let every file
# pass); Squid runs with its memory cache off. The script prints each
# figure, the engine's ratio to the better of the two others, and the
# engine's peak resident memory after the 256-connection run.
#
# Needs root for the package install (the build packages, nginx, tinyproxy,
# squid, wrk) when they are missing. Everything runs on 127.0.0.1 and stops
# by itself.
set -euo pipefail

ROOT=$(cd "$(dirname "$0")/.." && pwd)
SECONDS_PER_RUN=${BENCH_SECONDS:-10}
BUILD=${BENCH_BUILD:-$ROOT/build-bench}

# shellcheck source=bench/ports.sh
. "$ROOT/bench/ports.sh"
# shellcheck source=bench/nginx_origin.sh
. "$ROOT/bench/nginx_origin.sh"

# The build packages and the peers, the services among them not started.
bash "$ROOT/scripts/deps.sh" nginx tinyproxy squid wrk openssl
cmake -S "$ROOT" -B "$BUILD" -G Ninja -DCMAKE_BUILD_TYPE=Release -DVELQOR_SANITIZE=OFF -DVELQOR_TESTS=OFF >/dev/null
cmake --build "$BUILD" --target orqhprx >/dev/null

WORK=$(mktemp -d /tmp/velqor-bench.XXXXXX)
chmod 755 "$WORK"
PIDS=()
cleanup() {
  stop_pids "${PIDS[@]}"
  rm -rf "$WORK" "${ENGINE_ROOT:-}"
}
trap cleanup EXIT
ulimit -n 65536 2>/dev/null || true

# Origin: nginx with a 1 KiB and a 16 MiB file.
mkdir -p "$WORK/www"
head -c 1024 /dev/urandom >"$WORK/www/1k.bin"
head -c $((16 * 1024 * 1024)) /dev/urandom >"$WORK/www/16m.bin"
start_nginx_origin "$WORK/www" auto 4096 "sendfile on;" "keepalive_requests 1000000;"

# orqhprx on a free loopback port: keep-alive on (-!=0), no daily or access
# log, no scan server, its data folder below ROOT, each ARG added. Sets
# STARTED_PORT and STARTED_PID.
start_engine() {  # root arg...
  local root=$1
  shift
  STARTED_PORT=$(free_port)
  mkdir -p "$root/VELQOR"
  printf '127.0.0.1 %d=\r\n' "$STARTED_PORT" >"$root/VELQOR/http.ini"
  VELQOR_BENCH_ROOT="$root" VELQOR_PIPE_DIR="$root/pipes" \
    "$BUILD/bin/orqhprx" -e=VELQOR_BENCH_ROOT -p=0 -f '-!=0' "$@" >/dev/null 2>&1 &
  STARTED_PID=$!
  PIDS+=("$STARTED_PID")
  wait_port "$STARTED_PORT"
}

# Squid on a free loopback port, its files in $WORK/NAME, each LINE added to
# its configuration. Sets STARTED_PORT.
start_squid() {  # name line...
  local folder=$WORK/$1
  shift
  STARTED_PORT=$(free_port)
  mkdir -p "$folder"
  chmod 777 "$folder"
  printf '%s\n' "http_port 127.0.0.1:$STARTED_PORT" "http_access allow localhost" "http_access deny all" "$@" \
    "access_log none" "cache_log $folder/cache.log" "pid_filename $folder/squid.pid" "coredump_dir $folder" \
    "max_filedescriptors 65536" >"$folder/squid.conf"
  squid -N -f "$folder/squid.conf" >/dev/null 2>&1 &
  PIDS+=($!)
  wait_port "$STARTED_PORT"
}

# The engine's data folder (and with it the spool folder "cache") lies
# below BENCH_DATA_ROOT when that is set, else in the work folder.
ENGINE_ROOT=$(mktemp -d "${BENCH_DATA_ROOT:-$WORK}/velqor-engine.XXXXXX")
start_engine "$ENGINE_ROOT"
ENGINE_PORT=$STARTED_PORT
ENGINE_PID=$STARTED_PID

# tinyproxy.
TINY_PORT=$(free_port)
mkdir -p "$WORK/tinyproxy"
cat >"$WORK/tinyproxy/tinyproxy.conf" <<EOF
Port $TINY_PORT
Listen 127.0.0.1
Timeout 600
MaxClients 2048
LogLevel Critical
LogFile "$WORK/tinyproxy/tinyproxy.log"
Allow 127.0.0.1
EOF
chmod 777 "$WORK/tinyproxy"
tinyproxy -d -c "$WORK/tinyproxy/tinyproxy.conf" >/dev/null 2>&1 &
PIDS+=($!)
wait_port "$TINY_PORT"

# Squid, memory cache off.
start_squid squid "cache deny all" "cache_mem 0 MB"
SQUID_PORT=$STARTED_PORT

# Every proxy must relay the big file whole before it is measured.
want=$(sha256sum <"$WORK/www/16m.bin")
for port in "$ENGINE_PORT" "$TINY_PORT" "$SQUID_PORT"; do
  got=$(curl -s --max-time 60 -x "http://127.0.0.1:$port" "http://127.0.0.1:$NGINX_PORT/16m.bin" | sha256sum)
  [ "$got" = "$want" ] || { echo "proxy on port $port did not relay the 16 MiB file whole" >&2; exit 1; }
done

cat >"$WORK/wrk.lua" <<EOF
wrk.method = "GET"
wrk.headers["Host"] = "127.0.0.1:$NGINX_PORT"
wrk.headers["Proxy-Connection"] = "keep-alive"
wrk.path = os.getenv("BENCH_TARGET")
done = function(summary, latency, requests)
  local e = summary.errors
  io.write(string.format("RESULT %d %d %d %d\n", summary.requests, summary.bytes, summary.duration,
                         e.connect + e.read + e.write + e.status + e.timeout))
end
EOF

# wrk against one proxy; prints "<requests/s> <MiB/s> <errors>".
measure() {
  local port=$1 connections=$2 file=$3 threads=$(( $2 < 8 ? $2 : 8 ))
  BENCH_TARGET="http://127.0.0.1:$NGINX_PORT/$file" \
    wrk -t "$threads" -c "$connections" -d "${SECONDS_PER_RUN}s" --timeout 30s -s "$WORK/wrk.lua" \
    "http://127.0.0.1:$port/" | awk '/^RESULT/ { s = $4 / 1e6; printf "%.0f %.1f %d\n", $2 / s, $3 / s / 1048576, $5 }'
}

declare -A RPS64 RPS256 MIBS ERR
for name in engine tinyproxy squid; do
  case $name in engine) port=$ENGINE_PORT ;; tinyproxy) port=$TINY_PORT ;; squid) port=$SQUID_PORT ;; esac
  read -r r _ e1 < <(measure "$port" 64 1k.bin)
  read -r r2 _ e2 < <(measure "$port" 256 1k.bin)
  if [ $name = engine ]; then
    ENGINE_PEAK_KIB=$(awk '/VmHWM/ { print $2 }' "/proc/$ENGINE_PID/status")
  fi
  read -r _ m e3 < <(measure "$port" 4 16m.bin)
  RPS64[$name]=$r RPS256[$name]=$r2 MIBS[$name]=$m ERR[$name]=$((e1 + e2 + e3))
done

ratio() { awk -v a="$1" -v b="$2" -v c="$3" 'BEGIN { m = (b > c) ? b : c; printf "%.2f", (m > 0) ? a / m : 0 }'; }

printf '\n%-10s %14s %14s %12s %8s\n' proxy "req/s (64)" "req/s (256)" "MiB/s" errors
for name in engine tinyproxy squid; do
  printf '%-10s %14s %14s %12s %8s\n' "$name" "${RPS64[$name]}" "${RPS256[$name]}" "${MIBS[$name]}" "${ERR[$name]}"
done
printf '\nengine / better peer: req/s (64) %s, req/s (256) %s, MiB/s %s\n' \
  "$(ratio "${RPS64[engine]}" "${RPS64[tinyproxy]}" "${RPS64[squid]}")" \
  "$(ratio "${RPS256[engine]}" "${RPS256[tinyproxy]}" "${RPS256[squid]}")" \
  "$(ratio "${MIBS[engine]}" "${MIBS[tinyproxy]}" "${MIBS[squid]}")"
printf 'engine peak resident memory at 256 connections: %.1f MiB\n' "$(awk -v k="$ENGINE_PEAK_KIB" 'BEGIN { print k / 1024 }')"

# --- CONNECT tunnel: 16 MiB downloads from a TLS origin ---------------------
# A second nginx serves the same 16 MiB file over TLS (a self-signed
# certificate made here). curl -p downloads it again and again through each
# proxy's CONNECT tunnel, 4 downloads at a time and a new tunnel for each,
# and the same way without a proxy: the direct download, the limit. MiB per
# second, the engine's ratio to the better peer (target 1.0) and to the
# direct download (target 0.9).

start_tls_origin() {
  TLS_PORT=$(free_port)
  mkdir -p "$WORK/nginx-tls"
  openssl req -x509 -newkey rsa:2048 -nodes -subj /CN=localhost -days 2 \
    -keyout "$WORK/nginx-tls/key.pem" -out "$WORK/nginx-tls/cert.pem" 2>/dev/null
  cat >"$WORK/nginx-tls/nginx.conf" <<CONF
worker_processes auto;
daemon off;
pid $WORK/nginx-tls/nginx.pid;
error_log $WORK/nginx-tls/error.log;
events { worker_connections 1024; }
http {
  access_log off;
  sendfile on;
  client_body_temp_path $WORK/nginx-tls/body;
  proxy_temp_path $WORK/nginx-tls/proxy;
  fastcgi_temp_path $WORK/nginx-tls/fastcgi;
  uwsgi_temp_path $WORK/nginx-tls/uwsgi;
  scgi_temp_path $WORK/nginx-tls/scgi;
  server {
    listen 127.0.0.1:$TLS_PORT ssl;
    ssl_certificate $WORK/nginx-tls/cert.pem;
    ssl_certificate_key $WORK/nginx-tls/key.pem;
    root $WORK/www;
  }
}
CONF
  nginx -c "$WORK/nginx-tls/nginx.conf" -p "$WORK/nginx-tls" 2>"$WORK/nginx-tls/stderr" &
  PIDS+=($!)
  wait_port "$TLS_PORT"
  # The engine refuses a tunnel to a port other than 443 unless white.db
  # lists it.
  printf 'https://127.0.0.1:%d/\r\n' "$TLS_PORT" >>"$ENGINE_ROOT/VELQOR/white.db"
}

# curl arguments for a download of the 16 MiB file over TLS, through the
# tunnel of the proxy on port $1, or without a proxy for "direct".
tunnel_curl() {
  local proxy=()
  [ "$1" != direct ] && proxy=(-p -x "http://127.0.0.1:$1")
  echo curl -s -k --max-time 60 "${proxy[@]}" "https://127.0.0.1:$TLS_PORT/16m.bin"
}

# Downloads through one tunnel (4 at a time) for the measurement time;
# prints "<MiB/s> <errors>".
measure_tunnel() {
  local command loops=() start stop deadline
  command=$(tunnel_curl "$1")
  start=$(date +%s.%N)
  deadline=$(($(date +%s) + SECONDS_PER_RUN))
  for n in 1 2 3 4; do
    (
      while [ "$(date +%s)" -lt "$deadline" ]; do
        $command -o /dev/null -w '%{size_download} %{http_code}\n' || echo "0 000"
      done
    ) >"$WORK/tunnel.$n" &
    loops+=($!)
  done
  wait "${loops[@]}"
  stop=$(date +%s.%N)
  cat "$WORK"/tunnel.[1-4] | awk -v t="$(awk -v a="$start" -v b="$stop" 'BEGIN { print b - a }')" \
    -v size=$((16 * 1024 * 1024)) '
      { bytes += $1; if ($1 != size || $2 != 200) errors++ }
      END { printf "%.1f %d\n", bytes / t / 1048576, errors }'
}

start_tls_origin
for port in "$ENGINE_PORT" "$TINY_PORT" "$SQUID_PORT" direct; do
  got=$($(tunnel_curl "$port") | sha256sum)
  [ "$got" = "$want" ] || { echo "the tunnel of $port did not carry the 16 MiB file whole" >&2; exit 1; }
done
declare -A TUNNEL_MIBS TUNNEL_ERR
for name in engine tinyproxy squid direct; do
  case $name in
    engine) port=$ENGINE_PORT ;; tinyproxy) port=$TINY_PORT ;; squid) port=$SQUID_PORT ;; direct) port=direct ;;
  esac
  read -r TUNNEL_MIBS[$name] TUNNEL_ERR[$name] < <(measure_tunnel "$port")
done

printf '\n%-10s %18s %8s\n' proxy "CONNECT MiB/s" errors
for name in engine tinyproxy squid direct; do
  printf '%-10s %18s %8s\n' "$name" "${TUNNEL_MIBS[$name]}" "${TUNNEL_ERR[$name]}"
done
printf 'engine / better peer: CONNECT MiB/s %s (target 1.0)\n' \
  "$(ratio "${TUNNEL_MIBS[engine]}" "${TUNNEL_MIBS[tinyproxy]}" "${TUNNEL_MIBS[squid]}")"
printf 'engine tunnel / direct download: MiB/s %s (target 0.9)\n' \
  "$(ratio "${TUNNEL_MIBS[engine]}" "${TUNNEL_MIBS[direct]}" 0)"

# --- POST of 1 MiB bodies, and cache hits ---------------------------------
# POST: wrk sends 1 MiB bodies (16 connections, keep-alive) through each
# proxy to a second nginx that answers every POST with "ok". Cache hits:
# an engine with -m=10 (its cache in its own data folder) beside a Squid
# with its memory cache on, both warmed with one fetch of the 1 KiB file,
# then driven by wrk at 64 connections. Requests per second, and the
# engine's ratio to the better peer (POST) and to Squid (cache hits).

start_post_origin() {
  POST_PORT=$(free_port)
  mkdir -p "$WORK/nginx-post"
  cat >"$WORK/nginx-post/nginx.conf" <<CONF
worker_processes auto;
daemon off;
pid $WORK/nginx-post/nginx.pid;
error_log $WORK/nginx-post/error.log;
events { worker_connections 4096; }
http {
  access_log off;
  keepalive_requests 1000000;
  client_max_body_size 0;
  client_body_temp_path $WORK/nginx-post/body;
  proxy_temp_path $WORK/nginx-post/proxy;
  fastcgi_temp_path $WORK/nginx-post/fastcgi;
  uwsgi_temp_path $WORK/nginx-post/uwsgi;
  scgi_temp_path $WORK/nginx-post/scgi;
  server { listen 127.0.0.1:$POST_PORT; location / { return 200 "ok\n"; } }
}
CONF
  nginx -c "$WORK/nginx-post/nginx.conf" -p "$WORK/nginx-post" 2>"$WORK/nginx-post/stderr" &
  PIDS+=($!)
  wait_port "$POST_PORT"
  cat >"$WORK/post.lua" <<LUA
wrk.method = "POST"
wrk.headers["Host"] = "127.0.0.1:$POST_PORT"
wrk.headers["Proxy-Connection"] = "keep-alive"
wrk.headers["Content-Type"] = "application/octet-stream"
wrk.body = string.rep("\0\1\2\3\4\5\6\7", 131072)
wrk.path = "http://127.0.0.1:$POST_PORT/upload"
done = function(summary, latency, requests)
  local e = summary.errors
  io.write(string.format("RESULT %d %d %d %d\n", summary.requests, summary.bytes, summary.duration,
                         e.connect + e.read + e.write + e.status + e.timeout))
end
LUA
}

# wrk POSTs through one proxy; prints "<requests/s> <errors>".
measure_post() {
  wrk -t 4 -c 16 -d "${SECONDS_PER_RUN}s" --timeout 30s -s "$WORK/post.lua" "http://127.0.0.1:$1/" |
    awk '/^RESULT/ { printf "%.0f %d\n", $2 / ($4 / 1e6), $5 }'
}

# The engine with its HTTP cache on (-m=10) and Squid with its memory cache.
start_caching_proxies() {
  local root="$WORK/velqor-cache"
  start_engine "$root" -m=10
  CACHE_ENGINE_PORT=$STARTED_PORT
  start_squid squid-cache "cache_mem 64 MB" "maximum_object_size_in_memory 64 KB" "refresh_pattern . 10 20% 10"
  SQUID_CACHE_PORT=$STARTED_PORT

  # Both hold the file before they are measured.
  local url="http://127.0.0.1:$NGINX_PORT/1k.bin"
  for port in "$CACHE_ENGINE_PORT" "$SQUID_CACHE_PORT"; do
    curl -s -o /dev/null -x "http://127.0.0.1:$port" "$url"
    curl -s -o /dev/null -x "http://127.0.0.1:$port" "$url"
  done
  ls "$root/VELQOR/httpcache/"*.dat >/dev/null 2>&1 ||
    { echo "the engine did not store the 1 KiB file in its cache" >&2; exit 1; }
  curl -s -D - -o /dev/null -x "http://127.0.0.1:$SQUID_CACHE_PORT" "$url" | grep -qi '^X-Cache: HIT' ||
    { echo "Squid did not serve the 1 KiB file from its memory cache" >&2; exit 1; }
}

start_post_origin
declare -A POST_RPS POST_ERR
for name in engine tinyproxy squid; do
  case $name in engine) port=$ENGINE_PORT ;; tinyproxy) port=$TINY_PORT ;; squid) port=$SQUID_PORT ;; esac
  read -r POST_RPS[$name] POST_ERR[$name] < <(measure_post "$port")
done

start_caching_proxies
read -r HIT_ENGINE _ HIT_ENGINE_ERR < <(measure "$CACHE_ENGINE_PORT" 64 1k.bin)
read -r HIT_SQUID _ HIT_SQUID_ERR < <(measure "$SQUID_CACHE_PORT" 64 1k.bin)

printf '\n%-10s %16s %8s\n' proxy "POST 1 MiB req/s" errors
for name in engine tinyproxy squid; do
  printf '%-10s %16s %8s\n' "$name" "${POST_RPS[$name]}" "${POST_ERR[$name]}"
done
printf 'engine / better peer: POST 1 MiB req/s %s (target 1.0)\n' \
  "$(ratio "${POST_RPS[engine]}" "${POST_RPS[tinyproxy]}" "${POST_RPS[squid]}")"
printf '\n%-22s %14s %8s\n' "cache hits, 1 KiB" "req/s (64)" errors
printf '%-22s %14s %8s\n' "engine -m=10" "$HIT_ENGINE" "$HIT_ENGINE_ERR" "squid memory cache" "$HIT_SQUID" "$HIT_SQUID_ERR"
printf 'engine / squid: cache hits req/s %s (target 1.0)\n' "$(ratio "$HIT_ENGINE" "$HIT_SQUID" 0)"
