#!/usr/bin/env bash
# run-server-in.sh ROOT BIN: runs the service velqors of the install folder
# BIN in its console mode (-debug), which starts the servers from the
# settings in a registry store under ROOT (made on first use), with the
# data and pipe folders under ROOT too. Ctrl+C stops the service and every
# server it started.
set -euo pipefail
root=$1
bin=$2
mkdir -p "$root/data/VELQOR" "$root/registry" "$root/pipe"
# The data root (the service's default workenv names this variable), the
# registry store and the pipe folder all stay under ROOT.
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
# Started as root where the service user exists (velqors -install makes
# it), the servers become that user once their ports are bound. So, as
# -install does for the installed service, the data folder, the registry
# store and the pipe folder go to root and the user's group: folders 2770,
# files readable and writable by the group as by their owner, symbolic
# links left alone.
user=${VELQOR_USER:-velqor}
if [ "$(id -u)" = 0 ] && group=$(id -g "$user" 2>/dev/null) && [ "$(id -u "$user")" != 0 ]; then
  for place in "$root/data/VELQOR" "$root/registry" "$root/pipe"; do
    find "$place" ! -type l -exec chown root:"$group" {} +
    find "$place" -type d -exec chmod 2770 {} +
    find "$place" ! -type l ! -type d -exec chmod g=u,o= {} +
  done
  # A folder above ROOT that is closed to others (as a home folder often
  # is) keeps the user out all the same: the servers then stay root.
  if ! setpriv --reuid="$user" --regid="$group" --clear-groups \
      test -w "$root/data/VELQOR" -a -x "$root/data/VELQOR" -a -w "$root/pipe" -a -x "$root/pipe"; then
    echo "The service user $user cannot reach the folders under $root (a folder above them is closed to it): the servers stay root."
    export VELQOR_USER=root
  fi
fi
# The listeners http.ini names, which an earlier run (or the administrator)
# may have changed from the first one written above.
listen=$(bash "$(dirname "$0")/listen-entries.sh" "$root/data/VELQOR/http.ini" | paste -sd, - | sed 's/,/, /g')
echo "Data folder: $root/data/VELQOR, registry: $root/registry (HTTP proxy on ${listen:-no listener in http.ini})"
cd "$bin"
exec ./velqors -debug
