#!/usr/bin/env bash
# FTP relay benchmark: one large RETR from pyftpdlib on loopback, straight
# from the server, through the FTP proxy orqfprx (passive mode) and through
# the HTTP proxy's ftp:// road of orqhprx, in the same run.
#
#   bash bench/ftp_relay.sh
#   BENCH_MIB=64 bash bench/ftp_relay.sh
#
# Prints MiB/s of each road and the ratio of each proxy to the direct
# download; every copy is compared with the file. Then 50 small files on one
# control connection (ftplib), straight and through orqfprx: what each file
# costs. Targets: both proxies at 0.8x direct or better, and each small file
# through orqfprx at most 10 ms more than straight; the script ends with 1
# when one is missed. Everything it starts stops by itself.
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
FILES=50
for i in $(seq 1 $FILES); do echo "small file $i" > "$WORK/root/small-$i.txt"; done

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

# Seconds for the small files, one RETR after another on one login.
small_files() {
  /usr/bin/python3 - "$1" "$FILES" <<'PY'
import ftplib, io, sys, time
port, files = int(sys.argv[1]), int(sys.argv[2])
ftp = ftplib.FTP()
ftp.connect("127.0.0.1", port, timeout=30)
ftp.login("u", "p")
start = time.monotonic()
for i in range(1, files + 1):
    got = io.BytesIO()
    ftp.retrbinary(f"RETR small-{i}.txt", got.write)
    if got.getvalue() != f"small file {i}\n".encode():
        sys.exit(f"small-{i}.txt: the copy differs")
print(f"{time.monotonic() - start:.4f}")
ftp.quit()
PY
}
SMALL_DIRECT=$(small_files "$FTP_PORT")
SMALL_FPRX=$(small_files "$FPRX_PORT")

/usr/bin/python3 - "$MIB" "$DIRECT" "$FPRX" "$HPRX" "$FILES" "$SMALL_DIRECT" "$SMALL_FPRX" <<'PY'
import sys
mib, direct, fprx, hprx = int(sys.argv[1]), *map(float, sys.argv[2:5])
files, small_direct, small_fprx = int(sys.argv[5]), *map(float, sys.argv[6:8])
rate = lambda s: mib / s if s > 0 else float("inf")
print(f"{mib} MiB RETR")
print(f"  direct          {rate(direct):9.1f} MiB/s")
print(f"  orqfprx         {rate(fprx):9.1f} MiB/s  {direct / fprx:5.2f}x direct")
print(f"  orqhprx ftp://  {rate(hprx):9.1f} MiB/s  {direct / hprx:5.2f}x direct")
extra_ms = (small_fprx - small_direct) / files * 1000
print(f"{files} small files on one control connection")
print(f"  direct          {small_direct:9.3f} s  {small_direct / files * 1000:6.1f} ms a file")
print(f"  orqfprx         {small_fprx:9.3f} s  {small_fprx / files * 1000:6.1f} ms a file  (+{extra_ms:.1f} ms)")
missed = [name for name, s in (("orqfprx", fprx), ("orqhprx", hprx)) if direct / s < 0.8]
if extra_ms > 10:
    missed.append("orqfprx small files")
if missed:
    print("target missed by: " + ", ".join(missed))
    sys.exit(1)
print("targets met")
PY
