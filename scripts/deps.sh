#!/usr/bin/env bash
# Installs the Debian packages the build and the tests need, when missing.
# Servers that Debian would start as system services (slapd, dnsmasq) are
# installed without starting them: the tests start their own copies.
set -euo pipefail

PACKAGES=(
  build-essential cmake ninja-build ccache pkg-config
  libgtest-dev libgmock-dev libssl-dev libldap-dev libarchive-dev
  openssl curl python3 procps iproute2
  dnsmasq-base slapd ldap-utils socat ncat unzip swaks
  python3-aiosmtpd python3-pyftpdlib nginx
  # The control panel's widgets and Japanese font; its screenshot's virtual
  # display and capture.
  qt6-base-dev fonts-ipafont-gothic xvfb imagemagick
)

missing=()
for p in "${PACKAGES[@]}"; do
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
