#!/usr/bin/env bash
# Installs what is missing, builds glowview and runs it: with a display it opens
# its window; without one it shows the glow on a virtual display with the bundled
# sample picture and saves snapshots.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"

bash "$root/scripts/install-deps.sh"
bash "$root/scripts/build.sh" plain

if [ -n "${DISPLAY:-}" ] || [ -n "${WAYLAND_DISPLAY:-}" ]; then
  exec "$root/build/src/glowview" "$@"
fi
echo "run.sh: no display is set; running glowview on a virtual display with samples/sample.png."
exec bash "$root/scripts/with-display.sh" \
  bash "$root/scripts/demo.sh" "$root/build" "$root/build/snapshots"
