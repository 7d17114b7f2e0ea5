#!/usr/bin/env bash
# Attachment archiving benchmark: orqsvt packing mails that carry 10 MiB of
# attachments each (one archive per attachment, with a password), beside
# `zip -P` packing the same files, one archive each, in the same run.
#
#   bash bench/archive.sh
#   BENCH_MAILS=10 bash bench/archive.sh
#
# Prints the attachment MiB archived per second by each and their ratio.
# Target: orqsvt at 1.0x zip or better; the script ends with 1 when missed.
# Everything it starts stops by itself.
set -euo pipefail

ROOT=$(cd "$(dirname "$0")/.." && pwd)
BUILD=${BENCH_BUILD:-$ROOT/build-bench-archive}
MAILS=${BENCH_MAILS:-5}
# shellcheck source=bench/ports.sh
. "$ROOT/bench/ports.sh"

bash "$ROOT/scripts/deps.sh" zip unzip python3
cmake -S "$ROOT" -B "$BUILD" -G Ninja -DCMAKE_BUILD_TYPE=Release -DVELQOR_SANITIZE=OFF -DVELQOR_TESTS=OFF >/dev/null
cmake --build "$BUILD" --target orqsvt >/dev/null

WORK=$(mktemp -d /tmp/velqor-bench-archive.XXXXXX)
SVT_PID=
cleanup() {
  [ -n "$SVT_PID" ] && kill "$SVT_PID" 2>/dev/null && wait "$SVT_PID" 2>/dev/null || true
  rm -rf "$WORK"
}
trap cleanup EXIT
mkdir -p "$WORK/VELQOR/cache" "$WORK/pipes" "$WORK/files"

# Four attachments of 2.5 MiB per mail: two of text, two of random bytes,
# as office mail carries documents and already-compressed pictures.
/usr/bin/python3 - "$WORK" "$MAILS" <<'PY'
import base64, os, random, sys
work, mails = sys.argv[1], int(sys.argv[2])
size = 10 * 1024 * 1024 // 4
random.seed(7)
words = [''.join(random.choice('abcdefghijklmnopqrstuvwxyz') for _ in range(random.randint(2, 9))) for _ in range(5000)]
for m in range(mails):
    parts = []
    for a in range(4):
        if a % 2 == 0:
            text = []
            n = 0
            while n < size:
                line = ' '.join(random.choice(words) for _ in range(12)) + '\r\n'
                text.append(line)
                n += len(line)
            data = ''.join(text).encode()[:size]
        else:
            data = os.urandom(size)
        name = 'm%d-a%d.bin' % (m, a)
        with open(os.path.join(work, 'files', name), 'wb') as f:
            f.write(data)
        b64 = base64.encodebytes(data).replace(b'\n', b'\r\n')
        parts.append(b'--b\r\nContent-Type: application/octet-stream; name="' + name.encode() +
                     b'"\r\nContent-Transfer-Encoding: base64\r\n\r\n' + b64)
    mail = (b'From: a@example.test\r\nTo: b@example.test\r\nSubject: bench\r\n'
            b'Content-Type: multipart/mixed; boundary=b\r\n\r\n' + b''.join(parts) + b'--b--\r\n.\r\n')
    with open(os.path.join(work, 'VELQOR', 'cache', 'm%d.dat' % m), 'wb') as f:
        f.write(mail)
PY

VELQOR_PIPE_DIR="$WORK/pipes" BENCH_ROOT="$WORK" "$BUILD/bin/orqsvt" -e=BENCH_ROOT -u=1 -l=1 -@=benchpw -x=dat \
  >"$WORK/orqsvt.log" 2>&1 &
SVT_PID=$!
wait_socket "$WORK/pipes/orqsvt"

svt_seconds=$(/usr/bin/python3 - "$WORK" "$MAILS" <<'PY'
import socket, sys, time
work, mails = sys.argv[1], int(sys.argv[2])
start = time.monotonic()
for m in range(mails):
    path = ('%s/VELQOR/cache/m%d.dat' % (work, m)).encode()
    for attempt in range(500):  # the one pipe instance may be busy a moment
        s = socket.socket(socket.AF_UNIX, socket.SOCK_SEQPACKET)
        try:
            s.connect(work + '/pipes/orqsvt')
            break
        except (BlockingIOError, ConnectionRefusedError):
            s.close()
            time.sleep(0.01)
    s.settimeout(600)
    s.send(b'M' + path + b'\0' * (521 - len(path)))
    reply = s.recv(1024)
    s.close()
    if reply != b'MCompressed':
        sys.exit('mail %d not archived: %r' % (m, reply))
print('%.3f' % (time.monotonic() - start))
PY
)

zip_seconds=$(/usr/bin/python3 - "$WORK" <<'PY'
import glob, os, subprocess, sys, time
files = sorted(glob.glob(sys.argv[1] + '/files/*.bin'))
start = time.monotonic()
for f in files:
    subprocess.run(['zip', '-q', '-P', 'benchpw', f + '.zip', os.path.basename(f)],
                   cwd=os.path.dirname(f), check=True)
print('%.3f' % (time.monotonic() - start))
PY
)

/usr/bin/python3 - "$MAILS" "$svt_seconds" "$zip_seconds" <<'PY'
import sys
mails, svt, zp = int(sys.argv[1]), float(sys.argv[2]), float(sys.argv[3])
mib = mails * 10
print('attachments: %d MiB in %d mails' % (mib, mails))
print('orqsvt: %.1f MiB/s (%.2f s)' % (mib / svt, svt))
print('zip -P: %.1f MiB/s (%.2f s)' % (mib / zp, zp))
ratio = zp / svt
print('orqsvt / zip: %.2fx (target >= 1.0x)' % ratio)
sys.exit(0 if ratio >= 1.0 else 1)
PY
