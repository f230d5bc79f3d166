#!/usr/bin/env bash
# Installs what is missing, builds glowview and runs it.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"

bash "$root/scripts/install-deps.sh"
bash "$root/scripts/build.sh" plain

if [ ! -x "$root/build/src/glowview" ]; then
  echo "glowview: the program itself is not built yet; the foundation library and its tests are."
  exit 0
fi
exec "$root/build/src/glowview"
