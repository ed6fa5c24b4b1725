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
  lintian desktop-file-utils clang-format
  exfat-fuse exfatprogs
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done

if ((${#missing[@]})); then
  echo "Installing: ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
