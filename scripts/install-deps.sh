#!/bin/sh
# Installs the Debian packages Postvane needs, only those that are missing.
# Usage: scripts/install-deps.sh [run|headless|test|bench]
set -eu

kind=${1:-test}
packages="build-essential cmake ninja-build pkg-config qt6-base-dev qt6-multimedia-dev qt6-svg-dev libqt6svg6"
# Installing: icons rendered from the logo, the Debian package and its checks; the keyring.
packages="$packages librsvg2-bin dpkg-dev qtkeychain-qt6-dev libglib2.0-dev"
# OAuth: token and discovery replies are JSON (header-only, also for the Windows build).
packages="$packages nlohmann-json3-dev"
if [ "$kind" = test ]; then
  packages="$packages googletest libgtest-dev libgmock-dev libbenchmark-dev clang libclang-rt-14-dev \
dovecot-core dovecot-pop3d dovecot-imapd xvfb trayer xdotool imagemagick python3"
  # The install test's validators; a private session bus with a stand-in notification service.
  packages="$packages desktop-file-utils appstream lintian dbus-daemon python3-dbus python3-gi \
gnome-keyring"
  # Secure connections: the openssl tool makes the tests' certificates; the scripted TLS servers
  # link the OpenSSL library.
  packages="$packages openssl libssl-dev"
  # The caption-fit test measures captions in the fonts a Debian desktop has, condensed faces included.
  packages="$packages fonts-dejavu-core fonts-dejavu-extra"
elif [ "$kind" = headless ]; then
  # A virtual display with a notification area, clicks and pictures of the screen.
  packages="$packages xvfb trayer xdotool imagemagick python3"
fi
# The side-by-side bench (bench/compare.sh) also runs fetchmail as a peer.
if [ "$kind" = bench ]; then packages="$packages fetchmail"; fi

# The Windows programs: cross-compiler, Wine to run them, icon tools (tests and CI only).
if [ "$kind" = test ]; then
  packages="$packages g++-mingw-w64-x86-64 wine wine64 librsvg2-bin icoutils wixl unzip"
fi
# The header test: Python's email test messages, and npm for the public mail corpus.
if [ "$kind" = test ]; then packages="$packages libpython3.11-testsuite"; fi
if [ "$kind" = test ] && ! command -v npm >/dev/null 2>&1; then packages="$packages npm"; fi

missing=""
for p in $packages; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing="$missing $p"
  fi
done

if [ -n "$missing" ]; then
  echo "Installing:$missing"
  SUDO=""
  if [ "$(id -u)" -ne 0 ]; then SUDO=sudo; fi
  $SUDO apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq $missing >/dev/null
  # The packaged Dovecot service is not ours to run; tests start private instances.
  if echo "$missing" | grep -q dovecot; then
    ($SUDO systemctl disable --now dovecot >/dev/null 2>&1 || $SUDO service dovecot stop >/dev/null 2>&1 || true)
  fi
fi
