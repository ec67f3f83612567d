#!/usr/bin/env bash
# Installs the Debian packages Morvel needs to build, run and test, when any
# is missing. Runs apt as root, or through sudo for a normal user.
set -euo pipefail

packages=(
  build-essential cmake ninja-build ccache pkg-config
  libogre-1.12-dev ogre-1.12-tools libcegui-mk2-dev libois-dev libtinyxml-dev
  libboost-dev libboost-filesystem-dev libx11-dev libxtst-dev
  xvfb xauth mesa-utils libgl1-mesa-dri x11-utils xdotool
  libgtest-dev libgmock-dev libbenchmark-dev
  libftdi1-dev libusb-1.0-0-dev
  fonts-wqy-microhei
)
if [ "${MORVEL_EXTRA_PACKAGES:-}" != "" ]; then
  read -r -a extra <<<"$MORVEL_EXTRA_PACKAGES"
  packages+=("${extra[@]}")
fi

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing missing packages: ${missing[*]}"
sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -qq
$sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
