#!/usr/bin/env bash
# Draws glowview's icon at every size of the hicolor theme with data/make_icon.cpp's tool,
# into FOLDER/<size>x<size>/apps/glowview.png, laid out as share/icons/hicolor/ is.
# The build runs it (the icons target); by hand:
#   scripts/make-icons.sh build/data/make_icon /tmp/icons
# Usage: scripts/make-icons.sh MAKE_ICON FOLDER
set -euo pipefail

[ $# -eq 2 ] || { echo "usage: $0 MAKE_ICON FOLDER" >&2; exit 2; }
tool="$1"
folder="$2"
for size in 16 22 24 32 48 64 128 256; do
  mkdir -p "$folder/${size}x${size}/apps"
  "$tool" "$size" "$folder/${size}x${size}/apps/glowview.png"
done
