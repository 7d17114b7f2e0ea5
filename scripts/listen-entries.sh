#!/usr/bin/env bash
# listen-entries.sh FILE: the listen entries of a connection list (such as
# http.ini), one "address:port" a line, read as the engine reads them: each
# line up to its first CR; lines that are empty or begin with a blank or a
# quote are comments; the address runs up to the first blank, the port is
# the decimal number after the blanks that follow; a line without both
# names no listener.
set -euo pipefail
[ -f "$1" ] || exit 0
awk '{
  sub(/\r.*/, "")
  if ($0 == "" || $0 ~ /^[ \t'"'"'"]/) next
  blank = index($0, " ")
  if (blank < 2) next
  address = substr($0, 1, blank - 1)
  rest = substr($0, blank + 1)
  sub(/^ +/, "", rest)
  if (!match(rest, /^[0-9]+/)) next
  port = substr(rest, 1, RLENGTH)
  if (index(address, ":")) address = "[" address "]"
  print address ":" port
}' "$1"
