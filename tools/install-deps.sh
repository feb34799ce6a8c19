#!/bin/sh
# Installs the Debian packages the build (and, with "test", the test suite)
# needs, and only those that are missing.
set -e
RUN_PKGS="cmake make g++ qt6-base-dev qt6-base-private-dev qt6-base-dev-tools qt6-svg-dev libqt6svg6 qt6-webengine-dev qt6-webengine-dev-tools qt6-image-formats-plugins libgl-dev fonts-dejavu-core"
TEST_PKGS="xvfb xauth x11-utils xdotool xclip imagemagick poppler-utils libreoffice-writer-nogui abiword dpkg-dev file desktop-file-utils appstream lintian wine64 procps"
pkgs="$RUN_PKGS"
[ "$1" = "test" ] && pkgs="$pkgs $TEST_PKGS"
missing=""
for p in $pkgs; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing="$missing $p"
  fi
done
[ -z "$missing" ] && exit 0
echo "Installing:$missing"
SUDO=""
[ "$(id -u)" -ne 0 ] && SUDO=sudo
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -qq
$SUDO apt-get install -y -qq --no-install-recommends $missing
