#!/usr/bin/env bash
# Installs the Debian 12 packages that building, testing and running STELLACQ
# need, skipping those already present. Run as root.
set -euo pipefail

packages=(
  build-essential cmake pkg-config dpkg-dev
  qt6-base-dev qt6-qpa-plugins qt6-serialport-dev libgl-dev
  libgtest-dev libgmock-dev libbenchmark-dev
  libcfitsio-dev fitsverify python3-astropy libexpat1-dev
  indi-bin libindi-dev
  libcpp-httplib-dev nlohmann-json3-dev libboost-dev chromium
  xvfb xauth fonts-noto-cjk
  lintian desktop-file-utils clang-format man-db
  exfat-fuse exfatprogs
  # INDI 2.x's core, built from source for the driver's second leg of tests
  libnova-dev libusb-1.0-0-dev zlib1g-dev libgsl-dev libjpeg-dev
  libcurl4-gnutls-dev libev-dev libfftw3-dev libtheora-dev libogg-dev ninja-build
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done

if ((${#missing[@]})); then
  echo "Installing: ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  # Waits for another apt or dpkg that holds the lock, up to ten minutes.
  apt-get -o DPkg::Lock::Timeout=600 update -qq
  apt-get -o DPkg::Lock::Timeout=600 install -y -qq --no-install-recommends "${missing[@]}"
fi
