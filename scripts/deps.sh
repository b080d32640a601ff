#!/usr/bin/env bash
# Installs the Debian packages the build, the tests and the tools need, skipping those already there.
set -euo pipefail
packages=(
  build-essential cmake ninja-build pkg-config git
  qt6-base-dev qt6-svg-dev libqt6svg6 qt6-image-formats-plugins libgl-dev
  libgtest-dev libgmock-dev libbenchmark-dev
  clang-14 libclang-rt-14-dev
  nlohmann-json3-dev libzip-dev libwmf-dev libemf2svg-dev
  fonts-liberation2
  xvfb xauth imagemagick librsvg2-bin poppler-utils xdotool
  unrtf pandoc desktop-file-utils file unzip
  ccache libsqlite3-dev openbox x11-utils
  libreoffice-writer-nogui libreoffice-calc-nogui
)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0
echo "Installing: ${missing[*]}"
sudo=""
[ "$(id -u)" -ne 0 ] && sudo="sudo"
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -qq
$sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
