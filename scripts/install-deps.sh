#!/usr/bin/env bash
# Installs every Debian package that building, testing, benchmarking and running Zandrel needs.
# Safe to run again: apt-get skips what is already there.
set -euo pipefail
packages=(
  build-essential cmake ninja-build pkg-config git
  libgtest-dev libgmock-dev googletest libbenchmark-dev
  libpoco-dev libzip-dev libdeflate-dev zlib1g-dev
  qt6-base-dev qt6-base-dev-tools libgl-dev
  libglib2.0-dev nlohmann-json3-dev
  libsmbclient-dev  # copies from network shares (platform/netshare)
  samba smbclient   # the tests' share server (smbd) and the share benchmark's peer
  libssh-dev  # SFTP (platform/ssh): its headers; the library itself is loaded when first used
  openssh-server openssh-client  # the SFTP tests' sshd, ssh-keygen and ssh-agent; the SFTP benchmark's peer
  vsftpd openssl    # the FTPS tests' and benchmark's server, and the certificates made for it
  python3 python3-pyftpdlib unzip zip p7zip-full curl time bc
  msmtp-mta python3-aiosmtpd
  fonts-wine xdg-utils
  xvfb xclip
  clang libclang-rt-14-dev
  dpkg-dev  # dpkg-shlibdeps finds the .deb's dependencies (cpack -G DEB)
  nginx-light  # only the HTTP benchmark (bench/http_vs_curl.sh) uses it
  groff-base  # the manual pages' test formats them with groff
)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  SUDO=""
  [ "$(id -u)" -eq 0 ] || SUDO="sudo"
  export DEBIAN_FRONTEND=noninteractive
  # nginx, samba and vsftpd are installed for their programs only (the tests and benchmarks start
  # their own servers on spare ports): keep their packages from starting system services on ports
  # 80, 445 and 21, which would also fail the install where no init system runs.
  policy=/usr/sbin/policy-rc.d
  if [ ! -e "$policy" ]; then
    printf '#!/bin/sh\nexit 101\n' | $SUDO tee "$policy" > /dev/null
    $SUDO chmod 755 "$policy"
    trap '$SUDO rm -f "$policy"' EXIT
  fi
  $SUDO apt-get update -qq
  $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
