#!/usr/bin/env bash
# FTP relay benchmark: one large RETR from pyftpdlib on loopback, straight
# from the server, through the FTP proxy orqfprx (passive mode) and through
# the HTTP proxy's ftp:// road of orqhprx, in the same run.
#
#   bash bench/ftp_relay.sh
#   BENCH_MIB=64 bash bench/ftp_relay.sh
#
# Prints MiB/s of each road and the ratio of each proxy to the direct
# download; every copy is compared with the file. Target: both proxies at
# 0.8x direct or better; the script ends with 1 when missed. Everything it
# starts stops by itself.
set -euo pipefail

ROOT=$(cd "$(dirname "$0")/.." && pwd)
# shellcheck source=bench/ports.sh
. "$ROOT/bench/ports.sh"
BUILD=${BENCH_BUILD:-$ROOT/build-bench-ftp}
MIB=${BENCH_MIB:-256}

bash "$ROOT/scripts/deps.sh" curl python3 python3-pyftpdlib
cmake -S "$ROOT" -B "$BUILD" -G Ninja -DCMAKE_BUILD_TYPE=Release -DVELQOR_SANITIZE=OFF -DVELQOR_TESTS=OFF >/dev/null
cmake --build "$BUILD" --target orqhprx >/dev/null

WORK=$(mktemp -d /tmp/velqor-bench-ftp.XXXXXX)
PIDS=()
cleanup() {
  stop_pids "${PIDS[@]}"
  rm -rf "$WORK"
}
trap cleanup EXIT

mkdir -p "$WORK/root" "$WORK/data/VELQOR/cache" "$WORK/pipes" "$WORK/out"
head -c $((MIB * 1024 * 1024)) /dev/urandom > "$WORK/root/big.bin"

FTP_PORT=$(free_port)
/usr/bin/python3 "$ROOT/engine/ftp/tests/ftp_server.py" "$FTP_PORT" "$WORK/root" "$WORK/commands.log" \
  > "$WORK/ftp.out" 2>&1 &
PIDS+=($!)
wait_port "$FTP_PORT"

FPRX_PORT=$(free_port)
HPRX_PORT=$(free_port)
LOW=$(free_port)
echo "127.0.0.1 $FPRX_PORT=,127.0.0.1 $FTP_PORT" > "$WORK/data/VELQOR/ftp.ini"
echo "127.0.0.1 $HPRX_PORT=" > "$WORK/data/VELQOR/http.ini"
# No scan server: the scan request fails at once and counts as clean, so
# the roads' own cost is measured.
export BENCH_FTP_ROOT="$WORK/data" VELQOR_PIPE_DIR="$WORK/pipes"
"$BUILD/bin/orqfprx" -e=BENCH_FTP_ROOT -p=4 -f "-n=$LOW-$((LOW + 20))" > /dev/null 2>&1 &
PIDS+=($!)
"$BUILD/bin/orqhprx" -e=BENCH_FTP_ROOT -p=0 -f -t=5000,30000 > /dev/null 2>&1 &
PIDS+=($!)
wait_port "$FPRX_PORT"
wait_port "$HPRX_PORT"

# Seconds of one download (curl's own total time), its copy compared.
fetch() {
  local name=$1; shift
  local seconds
  seconds=$(curl -sS --max-time 600 -o "$WORK/out/$name.bin" -w '%{time_total}' "$@")
  cmp -s "$WORK/root/big.bin" "$WORK/out/$name.bin" || { echo "$name: the copy differs" >&2; exit 2; }
  rm -f "$WORK/out/$name.bin"
  echo "$seconds"
}

DIRECT=$(fetch direct "ftp://u:p@127.0.0.1:$FTP_PORT/big.bin")
FPRX=$(fetch orqfprx "ftp://u:p@127.0.0.1:$FPRX_PORT/big.bin")
HPRX=$(fetch orqhprx -x "http://127.0.0.1:$HPRX_PORT" "ftp://u:p@127.0.0.1:$FTP_PORT/big.bin")

/usr/bin/python3 - "$MIB" "$DIRECT" "$FPRX" "$HPRX" <<'PY'
import sys
mib, direct, fprx, hprx = int(sys.argv[1]), *map(float, sys.argv[2:])
rate = lambda s: mib / s if s > 0 else float("inf")
print(f"{mib} MiB RETR")
print(f"  direct          {rate(direct):9.1f} MiB/s")
print(f"  orqfprx         {rate(fprx):9.1f} MiB/s  {direct / fprx:5.2f}x direct")
print(f"  orqhprx ftp://  {rate(hprx):9.1f} MiB/s  {direct / hprx:5.2f}x direct")
missed = [name for name, s in (("orqfprx", fprx), ("orqhprx", hprx)) if direct / s < 0.8]
if missed:
    print("target 0.8x direct missed by: " + ", ".join(missed))
    sys.exit(1)
print("target 0.8x direct met")
PY
