#!/usr/bin/env bash
# Registry store benchmark: orqbackup restoring a settings file into the
# store (one .reg file, imported as one batch), on the Release build.
#
#   bash bench/registry_store.sh
#   BENCH_KEYS=1000 bash bench/registry_store.sh
#
# 1. Restores BENCH_KEYS keys of 3 values each into an empty store and
#    prints the seconds it took. Target: at most 2 s for 1,000 keys.
# 2. Restores 3,000 more values into stores already holding 100 and 10,000
#    values and prints the values written per second for each and their
#    ratio. Target: the rate at 10,000 at least 0.8x the rate at 100.
# The script ends with 1 when a target is missed. It starts nothing that
# outlives it.
set -euo pipefail

ROOT=$(cd "$(dirname "$0")/.." && pwd)
BUILD=${BENCH_BUILD:-$ROOT/build-bench-registry}
KEYS=${BENCH_KEYS:-1000}

bash "$ROOT/scripts/deps.sh" python3 bc
cmake -S "$ROOT" -B "$BUILD" -G Ninja -DCMAKE_BUILD_TYPE=Release -DVELQOR_SANITIZE=OFF -DVELQOR_TESTS=OFF >/dev/null
cmake --build "$BUILD" --target orqbackup >/dev/null

WORK=$(mktemp -d /tmp/velqor-bench-registry.XXXXXX)
trap 'rm -rf "$WORK"' EXIT

# A settings file of `keys` keys of 3 values (a string, a number, bytes)
# below the product key, key names starting with `prefix`.
make_reg() {  # target keys prefix
  mkdir -p "$1/backup"
  python3 - "$1/backup/velqor-v2.reg" "$2" "$3" <<'PY'
import sys
path, keys, prefix = sys.argv[1], int(sys.argv[2]), sys.argv[3]
lines = ["REGEDIT4", ""]
for k in range(keys):
    lines.append("[HKEY_LOCAL_MACHINE\\SOFTWARE\\TAVRISK\\VELQOR_SERVER\\Bench\\%s%05d]" % (prefix, k))
    lines.append('"Name"="/var/lib/velqor/data/item-%05d"' % k)
    lines.append('"Count"=dword:%08x' % k)
    lines.append('"Bytes"=hex:%s' % ",".join("%02x" % ((k + i) % 256) for i in range(16)))
    lines.append("")
with open(path, "w", newline="") as f:
    f.write("\r\n".join(lines) + "\r\n")
PY
}

# Restores the file of target into the store; prints the seconds taken.
restore() {  # store target
  local start end
  start=$(date +%s.%N)
  LANG=C.UTF-8 LC_ALL=C.UTF-8 ALLUSERSPROFILE="$WORK/root" VELQOR_REGISTRY_DIR="$1" \
    "$BUILD/bin/orqbackup" -i -v=2 -t="$2" </dev/null >"$WORK/restore.out" 2>&1 \
    || { cat "$WORK/restore.out"; exit 1; }
  end=$(date +%s.%N)
  echo "$end - $start" | bc -l
}

mkdir -p "$WORK/root"
failed=0

make_reg "$WORK/t1" "$KEYS" K
seconds=$(restore "$WORK/store1" "$WORK/t1")
printf 'restore of %d keys x 3 values into an empty store: %.2f s (target <= 2 s for 1,000)\n' "$KEYS" "$seconds"
if [ "$KEYS" -eq 1000 ] && [ "$(echo "$seconds > 2" | bc -l)" -eq 1 ]; then failed=1; fi

# 3,000 values (1,000 keys of 3) into a store of about 100 and of 10,000.
rate_at() {  # values-already-there
  local store="$WORK/store-$1"
  make_reg "$WORK/fill-$1" $(( $1 / 3 )) F
  restore "$store" "$WORK/fill-$1" >/dev/null
  make_reg "$WORK/more-$1" 1000 M
  local seconds
  seconds=$(restore "$store" "$WORK/more-$1")
  echo "3000 / $seconds" | bc -l
}
small=$(rate_at 100)
large=$(rate_at 10000)
ratio=$(echo "$large / $small" | bc -l)
printf 'values written per second: %.0f into a store of 100, %.0f into one of 10,000: %.2fx (target >= 0.8x)\n' \
  "$small" "$large" "$ratio"
if [ "$(echo "$ratio < 0.8" | bc -l)" -eq 1 ]; then failed=1; fi
echo "(numbers from a shared machine are noisy)"
exit "$failed"
