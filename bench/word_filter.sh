#!/usr/bin/env bash
# Content word filter benchmark: a 100 KiB Shift_JIS page judged against a
# list of 1,000 keywords, fetched again and again through orqhprx + orqcwfs
# and through Debian's e2guardian with the same phrases in front of the same
# origin (nginx).
#
#   bash bench/word_filter.sh
#   BENCH_SECONDS=20 BENCH_CONNECTIONS=16 bash bench/word_filter.sh
#
# Prints each side's pages per second and the ratio (target: orqhprx +
# orqcwfs at least twice as fast as e2guardian); ends with 1 when the target
# is missed. The page holds none of the keywords, so every keyword is looked
# for in all of it on both sides; before measuring, a page with one of the
# keywords must be blocked by both. The origin sends the pages gzip
# compressed whatever the request says, so both sides decode each page
# before they match it.
#
# Needs root for the package install when packages are missing. Everything
# it starts is stopped at the end.
set -euo pipefail

ROOT=$(cd "$(dirname "$0")/.." && pwd)
BUILD=${BENCH_BUILD:-$ROOT/build-bench-cwfs}
SECONDS_PER_RUN=${BENCH_SECONDS:-10}
CONNECTIONS=${BENCH_CONNECTIONS:-8}
# shellcheck source=bench/ports.sh
. "$ROOT/bench/ports.sh"
# shellcheck source=bench/nginx_origin.sh
. "$ROOT/bench/nginx_origin.sh"

bash "$ROOT/scripts/deps.sh" nginx wrk e2guardian python3
cmake -S "$ROOT" -B "$BUILD" -G Ninja -DCMAKE_BUILD_TYPE=Release -DVELQOR_SANITIZE=OFF -DVELQOR_TESTS=OFF >/dev/null
cmake --build "$BUILD" --target orqhprx orqcwfs >/dev/null

WORK=$(mktemp -d /tmp/velqor-bench-cwfs.XXXXXX)
chmod 755 "$WORK"
PIDS=()
cleanup() {
  # e2guardian may go on in a process of its own: its pid file names it.
  [ -f "$WORK/e2g/e2guardian.pid" ] && PIDS+=("$(cat "$WORK/e2g/e2guardian.pid")")
  stop_pids "${PIDS[@]}"
  rm -rf "$WORK"
}
trap cleanup EXIT

# The page, a page with a keyword, the keyword list for each side.
mkdir -p "$WORK/www" "$WORK/data/VELQOR/cache" "$WORK/pipes"
python3 - "$WORK" <<'PY'
import random, sys
work = sys.argv[1]
random.seed(11)
kana = "あいうえおかきくけこさしすせそたちつてとなにぬねのはひふへほアイウエオカキクケコサシスセソ"
words = set()
while len(words) < 1000:
    if len(words) % 4 == 0:
        words.add("".join(random.choice("abcdefghijklmnopqrstuvwxyz") for _ in range(7)))
    else:
        words.add("".join(random.choice(kana) for _ in range(random.randint(3, 5))))
words = sorted(words)
with open(f"{work}/data/VELQOR/cwf.db", "wb") as f:
    f.write("' 禁止ワード\r\n".encode("cp932"))
    for w in words:
        f.write(f"*{w}*\r\n".encode("cp932"))
with open(f"{work}/phrases", "wb") as f:
    for w in words:
        f.write(f"<{w}>\n".encode("cp932"))
text = ("本日の会議の資料をお送りします。ご確認のほど、よろしくお願いいたします。"
        "The quarterly report is attached; please send your comments before Friday. ")
page = ("<html><head><title>お知らせ</title></head><body>\n" + text * 4000).encode("cp932")[:100 * 1024]
open(f"{work}/www/page.html", "wb").write(page)
# e2guardian finds none of the Shift_JIS phrases (it matches ASCII ones
# only), so the page that both must block holds an ASCII keyword.
ascii_word = next(w for w in words if w.isascii())
hit = page[:50000] + f" {ascii_word} ".encode("cp932") + page[50000:]
open(f"{work}/www/hit.html", "wb").write(hit)
PY
gzip -k -9 "$WORK/www/page.html" "$WORK/www/hit.html"

# Origin: nginx, every file as Shift_JIS HTML.
start_nginx_origin "$WORK/www" 2 1024 "types { }" 'default_type "text/html; charset=Shift_JIS";' \
  'gzip_static always;'

# orqcwfs and orqhprx (keep-alive on, no logs to file) on one data root and
# pipe folder; no scan server.
export VELQOR_PIPE_DIR=$WORK/pipes
ENGINE_PORT=$(free_port)
printf '127.0.0.1 %d=\r\n' "$ENGINE_PORT" >"$WORK/data/VELQOR/http.ini"
VELQOR_BENCH_ROOT=$WORK/data "$BUILD/bin/orqcwfs" -e=VELQOR_BENCH_ROOT >/dev/null 2>&1 &
PIDS+=($!)
wait_socket "$WORK/pipes/orqcwfs"
VELQOR_BENCH_ROOT=$WORK/data "$BUILD/bin/orqhprx" -e=VELQOR_BENCH_ROOT -p=0 -f '-!=0' >/dev/null 2>&1 &
PIDS+=($!)
wait_port "$ENGINE_PORT"

# e2guardian: its own copy of the packaged configuration, in the
# foreground, connecting to the origin itself, with only our phrases.
E2G_PORT=$(free_port)
chmod -R a+rX "$WORK"
bash "$ROOT/filters/cwfs/tests/e2guardian_here.sh" "$WORK" "$E2G_PORT" "$WORK/phrases" >"$WORK/e2g.stdout" 2>&1 &
PIDS+=($!)
wait_port "$E2G_PORT"

# Both must pass the page whole and block the page with a keyword.
want=$(sha256sum <"$WORK/www/page.html")
for port in "$ENGINE_PORT" "$E2G_PORT"; do
  got=$(curl -s --compressed --max-time 30 -x "http://127.0.0.1:$port" "http://127.0.0.1:$NGINX_PORT/page.html" | sha256sum)
  [ "$got" = "$want" ] || { echo "the proxy on port $port did not pass the clean page whole" >&2; exit 1; }
  blocked=$(curl -s --compressed --max-time 30 -x "http://127.0.0.1:$port" "http://127.0.0.1:$NGINX_PORT/hit.html" | sha256sum)
  [ "$blocked" != "$(sha256sum <"$WORK/www/hit.html")" ] || { echo "the proxy on port $port passed the page with a keyword" >&2; exit 1; }
done

cat >"$WORK/wrk.lua" <<EOF
wrk.method = "GET"
wrk.path = "http://127.0.0.1:$NGINX_PORT/page.html"
wrk.headers["Host"] = "127.0.0.1:$NGINX_PORT"
done = function(summary, latency, requests)
  io.write(string.format("RESULT %d %d %d\n", summary.requests, summary.duration,
    summary.errors.connect + summary.errors.read + summary.errors.write + summary.errors.status + summary.errors.timeout))
end
EOF

# Pages per second through the proxy on port $1; prints "<pages/s> <errors>".
measure() {
  wrk -t 4 -c "$CONNECTIONS" -d "${SECONDS_PER_RUN}s" --timeout 30s -s "$WORK/wrk.lua" "http://127.0.0.1:$1/" |
    awk '/^RESULT/ { printf "%.1f %d\n", $2 / ($3 / 1e6), $4 }'
}

read -r ENGINE_RATE ENGINE_ERRORS < <(measure "$ENGINE_PORT")
read -r E2G_RATE E2G_ERRORS < <(measure "$E2G_PORT")
RATIO=$(awk -v a="$ENGINE_RATE" -v b="$E2G_RATE" 'BEGIN { printf "%.2f", (b > 0) ? a / b : 0 }')

printf '\n%-22s %12s %8s\n' proxy "pages/s" errors
printf '%-22s %12s %8s\n' "orqhprx + orqcwfs" "$ENGINE_RATE" "$ENGINE_ERRORS"
printf '%-22s %12s %8s\n' e2guardian "$E2G_RATE" "$E2G_ERRORS"
printf '\norqhprx + orqcwfs / e2guardian: %s (target 2.0)\n' "$RATIO"
awk -v r="$RATIO" 'BEGIN { exit (r >= 2.0) ? 0 : 1 }'
