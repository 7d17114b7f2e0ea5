#!/usr/bin/env bash
# e2guardian_here.sh DIR PORT PHRASES: runs Debian's e2guardian in the
# foreground on 127.0.0.1:PORT from a copy of its packaged configuration in
# DIR, with the phrases of the file PHRASES (one "<phrase>" a line) as its
# only banned phrases and nothing logged. It connects to the origins
# itself.
set -euo pipefail
dir=$1 port=$2 phrases=$3
cp -r /etc/e2guardian "$dir/e2g"
grep -rl /etc/e2guardian "$dir/e2g" | xargs sed -i "s#/etc/e2guardian#$dir/e2g#g"
sed -i -e "s#^filterports = .*#filterports = $port#" -e "s#^filterip =.*#filterip = 127.0.0.1#" \
  -e "s#^nodaemon = .*#nodaemon = on#" -e "s#^nologger = .*#nologger = on#" \
  -e "s#^loglevel = .*#loglevel = 0#" -e "s#^transparenthttpsport = .*#transparenthttpsport = 0#" \
  "$dir/e2g/e2guardian.conf"
cat >>"$dir/e2g/e2guardian.conf" <<CONF
loglocation = '$dir/e2g/access.log'
pidfilename = '$dir/e2g/e2guardian.pid'
daemonuser = 'root'
daemongroup = 'root'
CONF
cp "$phrases" "$dir/e2g/lists/bannedphraselist"
: >"$dir/e2g/lists/weightedphraselist"
: >"$dir/e2g/lists/exceptionphraselist"
exec e2guardian -c "$dir/e2g/e2guardian.conf"
