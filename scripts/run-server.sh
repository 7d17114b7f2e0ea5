#!/usr/bin/env bash
# Builds the programs and runs the server side in the foreground: the
# service velqors in its console mode (-debug), which starts the servers
# from the settings in a registry store under ./run (made on first use).
# Ctrl+C stops the service and every server it started.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh
bash scripts/build.sh build -DVELQOR_TESTS=OFF
root=$PWD/run
mkdir -p "$root/data/VELQOR" "$root/registry" "$root/pipe"
# The data root (the service's default workenv names this variable), the
# registry store and the pipe folder all stay under ./run.
export ALLUSERSPROFILE=$root/data
export VELQOR_REGISTRY_DIR=$root/registry
export VELQOR_PIPE_DIR=$root/pipe
# One listener a line: "<listen address> <listen port>=<send address>,<server> <port>,<name>".
# Empty fields after "=" mean: connect to the host the client asks for.
[ -f "$root/data/VELQOR/http.ini" ] || printf '127.0.0.1 8080=\r\n' > "$root/data/VELQOR/http.ini"
# Settings as the control panel would write them: the HTTP proxy on without
# proxy authentication, its daily log also to a file, and the service's own
# log to a file.
if [ ! -f "$root/registry/HKEY_LOCAL_MACHINE.reg" ]; then
  cat > "$root/registry/HKEY_LOCAL_MACHINE.reg" <<'REG'
Windows Registry Editor Version 5.00

[HKEY_LOCAL_MACHINE\SOFTWARE\TAVRISK\VELQOR_SERVER]
"http"=dword:00000001
"httpproxyauth"=dword:00000000
"httplog"=dword:00000001
"VELQORSV2"=dword:00000001
REG
fi
# The listeners http.ini names, which an earlier run (or the administrator)
# may have changed from the first one written above.
listen=$(bash scripts/listen-entries.sh "$root/data/VELQOR/http.ini" | paste -sd, - | sed 's/,/, /g')
echo "Data folder: $root/data/VELQOR, registry: $root/registry (HTTP proxy on ${listen:-no listener in http.ini})"
cd build/bin
exec ./velqors -debug
