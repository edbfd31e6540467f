#!/usr/bin/env bash
# Installs the Debian 12 packages regdiag needs to build, run and test.
# Runs apt-get through sudo when not already root.
set -euo pipefail

packages=(
  cmake ninja-build g++ pkg-config
  qt6-base-dev libgl-dev libusb-1.0-0-dev
  libgtest-dev libgmock-dev libbenchmark-dev
  fonts-dejavu-core fonts-dejavu-extra xvfb xauth libxcb1-dev
  umockdev libumockdev-dev dpkg-dev file strace
  nlohmann-json3-dev man-db libpugixml-dev
)
# Extra packages a caller asks for (the test command adds its tools).
packages+=("$@")

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update
$sudo apt-get install -y --no-install-recommends "${missing[@]}"
