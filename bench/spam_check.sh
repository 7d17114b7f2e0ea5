#!/usr/bin/env bash
# Spam check benchmark: one corpus of 500 mails judged by orqspam through
# its pipe and by SpamAssassin's spamd (network tests off, the rules the
# package ships and no others) through spamc, one mail after the other.
#
#   bash bench/spam_check.sh
#   BENCH_MAILS=2000 bash bench/spam_check.sh
#
# Prints each side's mails per second, the ratio (target: orqspam at least
# 10 times spamd's rate) and orqspam's peak resident memory; ends with 1
# when the target is missed. orqspam runs with its keyword list and the
# Date check, without SPF and URI zones, so neither side asks DNS. A quarter
# of the mails are Japanese in UTF-8 and Base64, which orqspam decodes and
# converts to its list's code page before it matches them.
#
# Needs root for the package install when packages are missing. Everything
# it starts is stopped at the end.
set -euo pipefail

ROOT=$(cd "$(dirname "$0")/.." && pwd)
# shellcheck source=bench/ports.sh
. "$ROOT/bench/ports.sh"
BUILD=${BENCH_BUILD:-$ROOT/build-bench-spam}
MAILS=${BENCH_MAILS:-500}

bash "$ROOT/scripts/deps.sh" spamassassin spamd spamc procps python3
cmake -S "$ROOT" -B "$BUILD" -G Ninja -DCMAKE_BUILD_TYPE=Release -DVELQOR_SANITIZE=OFF -DVELQOR_TESTS=OFF >/dev/null
cmake --build "$BUILD" --target orqspam >/dev/null

WORK=$(mktemp -d /tmp/velqor-bench-spam.XXXXXX)
chmod 755 "$WORK"
PIDS=()
cleanup() {
  stop_pids "${PIDS[@]}"
  rm -rf "$WORK"
}
trap cleanup EXIT

now() { date +%s.%N; }

echo "making $MAILS mails"
mkdir -p "$WORK/corpus" "$WORK/data/VELQOR/cache" "$WORK/pipe" "$WORK/sa"
python3 - "$WORK/corpus" "$MAILS" "$WORK/data/VELQOR/spamkeyword.db" <<'PY'
import base64, datetime, random, sys
folder, count, keywords = sys.argv[1], int(sys.argv[2]), sys.argv[3]
random.seed(7)
words = ["cheap pills", "casino bonus", "winner", "free money", "viagra", "lottery", "crypto doubling",
         "act now", "limited offer", "work from home"]
with open(keywords, "w", newline="", encoding="cp932") as f:
    f.write("' spam words\r\n*出会い*\r\n")
    for w in words:
        f.write(f"*{w}*\r\n")
    for i in range(30):
        f.write(f"*rare-phrase-{i}*\r\n")
year = datetime.date.today().year
text = ("Hello team, the minutes of today's meeting are attached. Please read them before Friday and "
        "send your comments to the list. Regards, Ann\r\n")
for n in range(count):
    spam = n % 3 == 0
    lines = [text] * random.randint(5, 40)
    if spam:
        lines.insert(random.randrange(len(lines)), f"Get your {random.choice(words)} at http://www.offer{n}.example/x\r\n")
    body = "".join(lines)
    head = (f"From: sender{n}@mail.example\r\nTo: ann@office.example\r\nSubject: Report {n}\r\n"
            f"Date: Tue, 8 Dec {year} 10:00:00 +0900\r\nMessage-ID: <{n}@mail.example>\r\nMIME-Version: 1.0\r\n")
    if n % 4 == 2:
        # Japanese text in UTF-8 and Base64, as most mail programs send it.
        jp = "本日の会議の議事録を添付します。金曜日までにご確認ください。\r\n" * random.randint(5, 40)
        if spam:
            jp += "素敵な出会いをお探しの方へ\r\n"
        encoded = base64.encodebytes(jp.encode()).decode().replace("\n", "\r\n")
        mail = (head + 'Content-Type: text/plain; charset="UTF-8"\r\nContent-Transfer-Encoding: base64\r\n\r\n' +
                encoded)
    elif n % 4 == 1:
        encoded = base64.encodebytes(body.encode()).decode().replace("\n", "\r\n")
        mail = (head + 'Content-Type: multipart/mixed; boundary="b"\r\n\r\n--b\r\n'
                "Content-Type: text/plain\r\nContent-Transfer-Encoding: base64\r\n\r\n" + encoded +
                "--b\r\nContent-Type: text/plain\r\n\r\nsee above\r\n--b--\r\n")
    else:
        mail = head + "Content-Type: text/plain; charset=us-ascii\r\n\r\n" + body
    with open(f"{folder}/req-1-{n:04d}.dat", "w", newline="") as f:
        f.write(mail)
PY

# orqspam, through its pipe: each request names a fresh copy of a mail, since
# it marks the ones it flags.
cp -r "$WORK/corpus/." "$WORK/data/VELQOR/cache/"
export VELQOR_PIPE_DIR=$WORK/pipe
BENCH_ROOT=$WORK/data "$BUILD/bin/orqspam" -t=[SPAM] -e=BENCH_ROOT -d >"$WORK/orqspam.out" 2>&1 &
SPAM=$!
PIDS+=($SPAM)
wait_socket "$WORK/pipe/orqspam"
orq=$(python3 - "$WORK/pipe/orqspam" "$WORK/data/VELQOR/cache" <<'PY'
import os, socket, sys, time
path, folder = sys.argv[1], sys.argv[2]
def ask(text):
    request = b"M" + text.encode().ljust(521, b"\0")
    for _ in range(20000):
        s = socket.socket(socket.AF_UNIX, socket.SOCK_SEQPACKET)
        s.setblocking(False)
        try:
            s.connect(path)
            break
        except BlockingIOError:
            s.close()
            time.sleep(0.0005)
    s.setblocking(True)
    s.send(request)
    reply = s.recv(1 + 521)
    s.close()
    return reply[1:].decode()
names = sorted(os.listdir(folder))
start = time.monotonic()
flagged = sum(1 for name in names if ask(f"{folder}/{name}?spamkeyword/none.db"))
elapsed = time.monotonic() - start
print(f"{len(names) / elapsed:.1f} {flagged} {elapsed:.2f}")
PY
)
peak=$(awk '$1 == "VmHWM:" {print $2}' "/proc/$SPAM/status")
read -r orq_rate orq_flagged orq_time <<<"$orq"
echo "orqspam: $MAILS mails in ${orq_time}s, $orq_rate mails/s, $orq_flagged flagged, peak memory ${peak} KiB"
# Every third mail holds a keyword, the Japanese ones too.
[ "$orq_flagged" -eq $(((MAILS + 2) / 3)) ] || { echo "orqspam flagged $orq_flagged of $(((MAILS + 2) / 3)) spam mails" >&2; exit 1; }

# spamd with local tests only, on a loopback port.
PORT=$(free_port)
# The package's site configuration (its plugin loaders) with a local.cf of
# our own: no Bayes, no blocklists.
cp /etc/spamassassin/*.pre "$WORK/sa/"
printf 'use_bayes 0\nskip_rbl_checks 1\n' >"$WORK/sa/local.cf"
spamd --local --nouser-config --listen=127.0.0.1:"$PORT" --allowed-ips=127.0.0.1 --username=nobody \
  --siteconfigpath="$WORK/sa" --max-children=1 --syslog=stderr --pidfile="$WORK/sa/spamd.pid" \
  >"$WORK/spamd.out" 2>&1 &
PIDS+=($!)
for _ in $(seq 600); do
  ss -ltn | grep -q "127.0.0.1:$PORT " && break
  sleep 0.1
done
ss -ltn | grep -q "127.0.0.1:$PORT " || { echo "spamd did not start:" >&2; cat "$WORK/spamd.out" >&2; exit 1; }
sa_flagged=0
start=$(now)
for mail in "$WORK"/corpus/*.dat; do
  # -c: exit 1 for spam, 0 for ham; -x: any other failure is one.
  rc=0
  spamc -d 127.0.0.1 -p "$PORT" -c -x <"$mail" >/dev/null || rc=$?
  case $rc in
    0) ;;
    1) sa_flagged=$((sa_flagged + 1)) ;;
    *) echo "spamc failed ($rc)" >&2; cat "$WORK/spamd.out" >&2; exit 1 ;;
  esac
done
sa_time=$(python3 -c "print(f'{$(now) - $start:.2f}')")
sa_rate=$(python3 -c "print(f'{$MAILS / $sa_time:.1f}')")
echo "spamd:   $MAILS mails in ${sa_time}s, $sa_rate mails/s, $sa_flagged flagged"

ratio=$(python3 -c "print(f'{$orq_rate / $sa_rate:.1f}')")
echo "ratio:   orqspam is ${ratio}x spamd (target >= 10x)"
python3 -c "import sys; sys.exit(0 if $orq_rate >= 10 * $sa_rate else 1)"
