#!/usr/bin/env bash
# Draws the bundled sample picture samples/sample.png (320 x 200): a colour
# plasma, red, green and blue discs and a black-to-white ramp.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
convert -size 320x200 -seed 11 plasma:fractal -blur 0x1 \
  \( -size 200x320 gradient:white-black -rotate 90 -crop 320x36+0+0 +repage \) \
  -geometry +0+164 -composite \
  -fill red -draw "circle 60,70 60,100" \
  -fill '#00c000' -draw "circle 160,70 160,100" \
  -fill blue -draw "circle 260,70 260,100" \
  -depth 8 -strip PNG24:"$root/samples/sample.png"
echo "wrote $root/samples/sample.png"
