#!/usr/bin/env bash
# Folder watcher benchmark: orqfile on a tree of 20,000 folders, then 2,000
# new files at once.
#
#   bash bench/folder_watch.sh
#   BENCH_FOLDERS=50000 BENCH_FILES=5000 bash bench/folder_watch.sh
#
# Prints the set-up time (start until every folder is watched), the
# watcher's resident memory and thread count after set-up and after the
# burst, and the time from the burst until every file has been asked about
# exactly once at the stand-in scan server (each file waits out the 3 s
# settling pause first). Targets: set-up < 5 s, resident memory < 64 MiB,
# every file scanned within 15 s; the script ends with 1 when one is missed.
#
# Needs root for the package install when packages are missing, and for
# raising fs.inotify.max_user_watches when it is below what the tree needs
# (put back at the end). Everything stops by itself.
set -euo pipefail

ROOT=$(cd "$(dirname "$0")/.." && pwd)
# shellcheck source=bench/ports.sh
. "$ROOT/bench/ports.sh"
BUILD=${BENCH_BUILD:-$ROOT/build-bench-watch}
FOLDERS=${BENCH_FOLDERS:-20000}
FILES=${BENCH_FILES:-2000}
TOP=200  # first-level folders; the rest lie one level below them

# The stand-in scan and alert servers are built beside the tests.
bash "$ROOT/scripts/deps.sh" libgtest-dev libgmock-dev procps python3
cmake -S "$ROOT" -B "$BUILD" -G Ninja -DCMAKE_BUILD_TYPE=Release -DVELQOR_SANITIZE=OFF -DVELQOR_TESTS=ON >/dev/null
cmake --build "$BUILD" --target orqfile orqavs-stub orqalert-stub >/dev/null

WORK=$(mktemp -d /tmp/velqor-bench-watch.XXXXXX)
PIDS=()
OLD_WATCHES=
cleanup() {
  stop_pids "${PIDS[@]}"
  [ -n "$OLD_WATCHES" ] && sysctl -qw fs.inotify.max_user_watches="$OLD_WATCHES"
  rm -rf "$WORK"
}
trap cleanup EXIT

need=$((FOLDERS + TOP + 1000))
have=$(cat /proc/sys/fs/inotify/max_user_watches)
if [ "$have" -lt "$need" ]; then
  OLD_WATCHES=$have
  sysctl -qw fs.inotify.max_user_watches="$need"
fi

now() { date +%s.%N; }
elapsed() { python3 -c "print(f'{$2 - $1:.2f}')"; }
status() { awk -v k="$2:" '$1 == k {print $2}' "/proc/$1/status"; }

echo "making $FOLDERS folders"
python3 - "$WORK/tree" "$FOLDERS" "$TOP" <<'PY'
import os, sys
top, count, first = sys.argv[1], int(sys.argv[2]), int(sys.argv[3])
for i in range(count):
    os.makedirs(f"{top}/d{i % first}/s{i // first}", exist_ok=True)
PY
mkdir -p "$WORK/pipe" "$WORK/data"
export VELQOR_PIPE_DIR=$WORK/pipe
"$BUILD/tests/orqavs-stub" --log="$WORK/scan.log" >"$WORK/scan.out" 2>&1 &
PIDS+=($!)
"$BUILD/tests/orqalert-stub" --log="$WORK/alert.log" >"$WORK/alert.out" 2>&1 &
PIDS+=($!)
wait_socket "$WORK/pipe/orqavs" "$WORK/pipe/orqalert"

start=$(now)
BENCH_ROOT=$WORK/data "$BUILD/bin/orqfile" -d="$WORK/tree" -e=BENCH_ROOT >"$WORK/orqfile.out" 2>&1 &
WATCHER=$!
PIDS+=($WATCHER)
for _ in $(seq 600); do
  grep -q "watching [0-9]* folders" "$WORK/orqfile.out" && break
  kill -0 "$WATCHER" 2>/dev/null || { cat "$WORK/orqfile.out" >&2; exit 1; }
  sleep 0.05
done
ready=$(now)
setup=$(elapsed "$start" "$ready")
grep -o "watching [0-9]* folders" "$WORK/orqfile.out"
rss_setup=$(status "$WATCHER" VmRSS)
threads_setup=$(status "$WATCHER" Threads)

echo "making $FILES files at once"
burst=$(now)
python3 - "$WORK/tree" "$FILES" "$FOLDERS" "$TOP" <<'PY'
import sys
top, count, folders, first = sys.argv[1], int(sys.argv[2]), int(sys.argv[3]), int(sys.argv[4])
for i in range(count):
    j = i * (folders // count)
    with open(f"{top}/d{j % first}/s{j // first}/f{i}.txt", "w") as f:
        f.write(f"file {i}\n")
PY
scanned=0
for _ in $(seq 1200); do
  scanned=$( (cut -f3 "$WORK/scan.log" 2>/dev/null || true) | sort -u | wc -l)
  [ "$scanned" -ge "$FILES" ] && break
  sleep 0.05
done
done_at=$(now)
all_scanned=$(elapsed "$burst" "$done_at")
sleep 4  # a second scan of any file would come within one more settling pause
requests=$(wc -l <"$WORK/scan.log")
rss_peak=$(status "$WATCHER" VmHWM)
threads_after=$(status "$WATCHER" Threads)

echo
printf '%-40s %s\n' "set-up ($FOLDERS folders)" "$setup s   (target < 5 s)"
printf '%-40s %s\n' "resident memory after set-up" "$((rss_setup / 1024)) MiB"
printf '%-40s %s\n' "resident memory peak" "$((rss_peak / 1024)) MiB   (target < 64 MiB)"
printf '%-40s %s\n' "threads after set-up / after the burst" "$threads_setup / $threads_after"
printf '%-40s %s\n' "files scanned / scan requests" "$scanned of $FILES / $requests"
printf '%-40s %s\n' "all scanned after" "$all_scanned s   (target < 15 s)"

ok=1
python3 -c "import sys; sys.exit(0 if $setup < 5 else 1)" || { echo "MISSED: set-up"; ok=0; }
[ $((rss_peak / 1024)) -lt 64 ] || { echo "MISSED: memory"; ok=0; }
[ "$scanned" -eq "$FILES" ] && [ "$requests" -eq "$FILES" ] || { echo "MISSED: each file scanned exactly once"; ok=0; }
python3 -c "import sys; sys.exit(0 if $all_scanned < 15 else 1)" || { echo "MISSED: scan time"; ok=0; }
[ $ok -eq 1 ] && echo "all targets met"
[ $ok -eq 1 ]
