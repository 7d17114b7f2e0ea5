#!/usr/bin/env bash
# deps.sh [--tests] [PACKAGE...]: installs the Debian packages that are missing.
#
#   deps.sh            what building the programs and running them need
#   deps.sh --tests    that, and what only the tests need: the test framework
#                      and the real peers the tests start on loopback
#   deps.sh ... NAME   NAME as well (bench/ adds its peers this way)
#
# Servers that Debian would start as system services (slapd, dnsmasq, squid,
# nginx ...) are installed without starting them: the tests and benchmarks
# start their own copies with their own configuration.
set -euo pipefail

BUILD_PACKAGES=(
  build-essential cmake ninja-build ccache pkg-config
  libssl-dev libldap-dev libarchive-dev
  # The word filter reads compressed pages.
  zlib1g-dev
  # The control panel's widgets and its Japanese font.
  qt6-base-dev fonts-ipafont-gothic
  # The control panel's editor of list files (keeps Shift_JIS and CR LF).
  l3afpad
  # The set-up example's client and local web server.
  curl python3
)
TEST_PACKAGES=(
  libgtest-dev libgmock-dev
  openssl procps iproute2
  dnsmasq-base slapd ldap-utils socat ncat unzip swaks
  # The archiver's zips opened by more unzip programs; the word filter
  # compared with another content filter on the same pages.
  p7zip-full libarchive-tools e2guardian
  # swaks --tls needs it.
  libnet-ssleay-perl
  python3-aiosmtpd python3-pyftpdlib python3-requests python3-socks
  # The SOCKS server the SOCKS proxy's reply codes are compared with.
  dante-server
  # Runs curl and wget through the SOCKS proxy as programs that resolve
  # names themselves and know nothing of SOCKS.
  proxychains4
  # A second FTP client beside curl and ftplib for the FTP proxy's tests,
  # and a real FTP server behind it.
  lftp vsftpd
  # The SMTP server behind the SMTP relay's tests.
  postfix
  # The POP3 and IMAP4 server behind the mail relays' tests.
  dovecot-core dovecot-pop3d dovecot-imapd
  # Mail readers that fetch through the IMAP4 relay.
  fetchmail s-nail
  squid nginx
  # An upstream proxy for the CONNECT tunnel's tests.
  tinyproxy
  # The folder watcher's tests: a clone into a watched place, drives mounted
  # over one in a private mount namespace.
  git util-linux
  # The control panel's screenshots: a virtual display, a tray for its icon
  # and balloons, and the capture.
  xvfb trayer imagemagick
)

wanted=("${BUILD_PACKAGES[@]}")
for arg in "$@"; do
  case $arg in
    --tests) wanted+=("${TEST_PACKAGES[@]}") ;;
    -*) echo "usage: $0 [--tests] [PACKAGE...]" >&2; exit 2 ;;
    *) wanted+=("$arg") ;;
  esac
done

missing=()
for p in "${wanted[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

SUDO=""
[ "$(id -u)" -ne 0 ] && SUDO="sudo"
echo "Installing: ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
policy=/usr/sbin/policy-rc.d
placed_policy=0
if [ ! -e "$policy" ]; then
  printf '#!/bin/sh\nexit 101\n' | $SUDO tee "$policy" >/dev/null
  $SUDO chmod +x "$policy"
  placed_policy=1
fi
cleanup() { [ $placed_policy -eq 1 ] && $SUDO rm -f "$policy"; true; }
trap cleanup EXIT
$SUDO apt-get update -q
$SUDO apt-get install -y -q --no-install-recommends "${missing[@]}" </dev/null
