# shellcheck shell=bash
# Loopback port, pipe and process helpers for the benchmark scripts:
# source it before the script's clean-up is set.
#   free_port           prints a loopback TCP port that was free a moment ago
#   wait_port N         waits up to 10 s for something to listen on port N
#   wait_socket PATH..  waits up to 10 s for each pipe server's socket to
#                       appear; goes on without it (its client then fails)
#   stop_pids PID..     sends each process TERM, then waits for each to end
#                       (up to 10 s for one the script did not start itself)

free_port() {
  /usr/bin/python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])'
}

wait_port() {
  for _ in $(seq 100); do
    (exec 3<>"/dev/tcp/127.0.0.1/$1") 2>/dev/null && return 0
    sleep 0.1
  done
  echo "nothing listens on port $1" >&2
  return 1
}

wait_socket() {
  local path
  for path in "$@"; do
    for _ in $(seq 100); do
      [ -S "$path" ] && break
      sleep 0.1
    done
  done
}

stop_pids() {
  local pid
  for pid in "$@"; do kill "$pid" 2>/dev/null || true; done
  for pid in "$@"; do wait "$pid" 2>/dev/null || true; done
  for pid in "$@"; do
    for _ in $(seq 100); do
      kill -0 "$pid" 2>/dev/null || break
      sleep 0.1
    done
  done
}
