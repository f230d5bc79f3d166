#!/usr/bin/env bash
# Installs what is missing, builds glowview and runs it: it opens its window on $DISPLAY.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"

bash "$root/scripts/install-deps.sh"
bash "$root/scripts/build.sh" plain

if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  echo "run.sh: no display is set; glowview needs one (on a machine without a screen:" \
       "bash scripts/with-display.sh build/src/glowview)." >&2
fi
exec "$root/build/src/glowview"
