#!/usr/bin/env bash
# Installs what building, running, testing and packaging the configurator needs
# on Debian. Safe to run again: apt-get only installs what is missing.
#   scripts/install-deps.sh [--missing]   (--missing: only list what is missing)
set -euo pipefail

# libqt6opengl6-dev: Qt Charts' CMake package needs Qt OpenGL's, which qt6-charts-dev does not pull in.
packages=(
  build-essential cmake pkg-config
  qt6-base-dev qt6-serialport-dev qt6-svg-dev libqt6svg6 qt6-charts-dev libqt6opengl6-dev qt6-qpa-plugins libgl-dev
  fonts-dejavu-core
  socat mbpoll python3-pymodbus
  xvfb xauth
  clang libclang-rt-14-dev
  dpkg-dev  # dpkg-shlibdeps: the Debian package's dependencies
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ "${1:-}" = "--missing" ]; then
  echo "${missing[*]}"
  exit 0
fi
if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi

sudo=""
if [ "$(id -u)" -ne 0 ]; then
  sudo="sudo"
fi
echo "Installing: ${missing[*]}"
$sudo apt-get update -q
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -q --no-install-recommends "${missing[@]}"
