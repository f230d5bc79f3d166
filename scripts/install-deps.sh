#!/usr/bin/env bash
# Installs the Debian packages that building, running, testing and packaging glowview need.
# Idempotent: when everything is present it only checks and returns.
# Usage: scripts/install-deps.sh [windows]; with windows, what the Windows cross
# build and its tests under Wine need on top (scripts/build.sh windows asks for it).
set -euo pipefail

packages=(
  build-essential cmake pkg-config
  libglfw3-dev libglew-dev libgl-dev libpng-dev libjpeg-dev libwebp-dev zlib1g-dev libx11-dev
  libgtest-dev libbenchmark-dev
  xvfb xauth libgl1-mesa-dri x11-utils x11-xkb-utils xdotool imagemagick
  clang libclang-rt-14-dev
  desktop-file-utils appstream groff-base man-db dpkg-dev file lintian
)
if [ "${1:-}" = windows ]; then
  # MinGW-w64 with posix threads, the assembler for libjpeg-turbo's SIMD code,
  # zlib for MinGW, Ninja, Wine to run the programs and their tests, and patch
  # for Debian's fixes to the libraries' sources.
  packages=(g++-mingw-w64-x86-64-posix nasm libz-mingw-w64-dev ninja-build wine64 libgtest-dev patch xz-utils)
fi

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi

sudo_cmd=()
if [ "$(id -u)" -ne 0 ]; then
  sudo_cmd=(sudo)
fi

echo "Installing: ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
"${sudo_cmd[@]}" apt-get update -qq
"${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
