#!/usr/bin/env bash
# Mail relay benchmark.
#
#   bash bench/mail_relay.sh
#   BENCH_MAILS=200 bash bench/mail_relay.sh
#
# SMTP: 1,000 mails of 100 KiB from 16 parallel senders through orqsprx
# (with the stand-in scan server answering every mail) to a local aiosmtpd
# sink, and the same mails straight to the sink. POP3: RETR of 100 such
# mails through orqpprx from dovecot, and straight from dovecot. Every mail
# is compared by its SHA-256 at the far end. Target: each relayed run at
# least 0.8x the direct one, with no mail lost or altered; the script ends
# with 1 when one is missed.
#
# Needs root for the package install when packages are missing. Everything
# it starts stops with it.
set -euo pipefail

ROOT=$(cd "$(dirname "$0")/.." && pwd)
# shellcheck source=bench/ports.sh
. "$ROOT/bench/ports.sh"
BUILD=${BENCH_BUILD:-$ROOT/build-bench-mail}
MAILS=${BENCH_MAILS:-1000}
SIZE=${BENCH_SIZE:-102400}
SENDERS=${BENCH_SENDERS:-16}
RETRIEVED=${BENCH_RETRIEVED:-100}
PY=/usr/bin/python3
LOAD="$ROOT/bench/mail_load.py"

bash "$ROOT/scripts/deps.sh" libgtest-dev libgmock-dev python3-aiosmtpd dovecot-core dovecot-pop3d
cmake -S "$ROOT" -B "$BUILD" -G Ninja -DCMAKE_BUILD_TYPE=Release -DVELQOR_SANITIZE=OFF -DVELQOR_TESTS=ON >/dev/null
cmake --build "$BUILD" --target orqhprx orqavs-stub >/dev/null

WORK=$(mktemp -d /tmp/velqor-bench-mail.XXXXXX)
chmod 755 "$WORK"
PIDS=()
cleanup() {
  stop_pids "${PIDS[@]}"
  rm -rf "$WORK"
}
trap cleanup EXIT
failed=0

mkdir -p "$WORK/pipe" "$WORK/data/VELQOR/cache"
export VELQOR_PIPE_DIR=$WORK/pipe BENCH_ROOT=$WORK/data
"$BUILD/tests/orqavs-stub" >"$WORK/avs.out" 2>&1 &
PIDS+=($!)

# --- SMTP ---------------------------------------------------------------
run_smtp() {  # name port-of-sink-or-relay folder
  local folder=$WORK/$1
  mkdir -p "$folder"
  local seconds
  seconds=$($PY "$LOAD" send "$2" "$MAILS" "$SIZE" "$SENDERS" "$folder")
  sort "$folder/sent" >"$folder/sent.sorted"
  for _ in $(seq 100); do [ "$(wc -l <"$3/hashes" 2>/dev/null || echo 0)" -ge "$MAILS" ] && break; sleep 0.1; done
  sort "$3/hashes" >"$folder/got.sorted"
  if ! cmp -s "$folder/sent.sorted" "$folder/got.sorted"; then
    echo "SMTP $1: mails lost or altered" >&2
    failed=1
  fi
  : >"$3/hashes"
  echo "$seconds"
}

mkdir -p "$WORK/sink"
$PY "$LOAD" sink "$WORK/sink" >"$WORK/sink.out" 2>&1 &
PIDS+=($!)
for _ in $(seq 100); do grep -q '^port ' "$WORK/sink.out" 2>/dev/null && break; sleep 0.05; done
SINK=$(awk '/^port /{print $2}' "$WORK/sink.out")
RELAY=$(free_port)
echo "127.0.0.1 $RELAY=,127.0.0.1 $SINK" >"$WORK/data/VELQOR/smtp.ini"
"$BUILD/bin/orqsprx" -e=BENCH_ROOT -p=1 -f >"$WORK/orqsprx.out" 2>&1 &
PIDS+=($!)
wait_port "$RELAY"

direct=$(run_smtp smtp-direct "$SINK" "$WORK/sink")
relayed=$(run_smtp smtp-relayed "$RELAY" "$WORK/sink")
smtp_ratio=$($PY -c "print(f'{$direct / $relayed:.2f}')")
echo "SMTP: $MAILS mails of $SIZE bytes, $SENDERS senders: direct ${direct}s, through orqsprx ${relayed}s, ratio ${smtp_ratio}x (target >= 0.8x)"
$PY -c "import sys; sys.exit(0 if $smtp_ratio >= 0.8 else 1)" || failed=1

# --- POP3 ---------------------------------------------------------------
DOVE=$WORK/dovecot
mkdir -p "$DOVE/run" "$DOVE/state"
$PY "$LOAD" maildir "$DOVE/Maildir" "$RETRIEVED" "$SIZE"
owner="uid=$(id -u) gid=$(id -g)"
# Not run as root, dovecot runs all its processes as the user.
users="default_login_user = $(id -un)
default_internal_user = $(id -un)
default_internal_group = $(id -gn)"
if [ "$(id -u)" -eq 0 ]; then
  owner="uid=65534 gid=65534"; users=""
  chown -R 65534:65534 "$DOVE/Maildir"; chmod 755 "$DOVE"
fi
POP=$(free_port)
cat >"$DOVE/dovecot.conf" <<CONF
protocols = pop3
listen = 127.0.0.1
base_dir = $DOVE/run
state_dir = $DOVE/state
log_path = $DOVE/dovecot.log
ssl = no
disable_plaintext_auth = no
first_valid_uid = 0
mail_location = maildir:$DOVE/Maildir
$users
passdb {
  driver = static
  args = password=secret
}
userdb {
  driver = static
  args = $owner home=$DOVE/Maildir
}
service pop3-login {
  chroot =
  inet_listener pop3 {
    port = $POP
  }
  inet_listener pop3s {
    port = 0
  }
}
service anvil {
  chroot =
}
CONF
/usr/sbin/dovecot -F -c "$DOVE/dovecot.conf" >"$WORK/dovecot.out" 2>&1 &
PIDS+=($!)
wait_port "$POP"
POPRELAY=$(free_port)
echo "127.0.0.1 $POPRELAY=,127.0.0.1 $POP" >"$WORK/data/VELQOR/pop3.ini"
"$BUILD/bin/orqpprx" -e=BENCH_ROOT -p=2 -f >"$WORK/orqpprx.out" 2>&1 &
PIDS+=($!)
wait_port "$POPRELAY"

read -r pop_direct direct_hash < <($PY "$LOAD" pop3 "$POP" "$RETRIEVED")
read -r pop_relayed relayed_hash < <($PY "$LOAD" pop3 "$POPRELAY" "$RETRIEVED")
if [ "$direct_hash" != "$relayed_hash" ]; then
  echo "POP3: mails altered on their way" >&2
  failed=1
fi
pop_ratio=$($PY -c "print(f'{$pop_direct / $pop_relayed:.2f}')")
echo "POP3: RETR of $RETRIEVED mails of $SIZE bytes: direct ${pop_direct}s, through orqpprx ${pop_relayed}s, ratio ${pop_ratio}x (target >= 0.8x)"
$PY -c "import sys; sys.exit(0 if $pop_ratio >= 0.8 else 1)" || failed=1
exit $failed
