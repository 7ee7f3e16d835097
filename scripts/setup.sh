#!/bin/bash
# Installs the Debian packages Kolvara needs to build, test and run its workers.
# Fast and silent when everything is already there.
set -euo pipefail

PACKAGES=(
  build-essential cmake ninja-build pkg-config ccache
  qt6-base-dev qt6-qpa-plugins libgl-dev libpng-dev
  nlohmann-json3-dev libgtest-dev googletest
  xvfb xauth fonts-dejavu-core imagemagick libvips-tools
  python3 python3-torch python3-numpy python3-pil python3-matplotlib python3-h5py
  python3-pytest python3-pip
)

missing=()
for p in "${PACKAGES[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "ok installed"; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi

echo "Installing missing packages: ${missing[*]}"
SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -q
$SUDO apt-get install -y -q --no-install-recommends "${missing[@]}"
