#!/usr/bin/env bash
# Builds glowview. Usage: scripts/build.sh [plain|sanitize] (default plain).
# Build folders: build/ (plain) and build-sanitize/ (AddressSanitizer + UBSan).
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
kind="${1:-plain}"

case "$kind" in
  plain)    dir="$root/build";          flags=() ;;
  sanitize) dir="$root/build-sanitize"; flags=(-DGLOWVIEW_SANITIZE=ON -DCMAKE_BUILD_TYPE=Debug) ;;
  *) echo "usage: $0 [plain|sanitize]" >&2; exit 2 ;;
esac

cmake -S "$root" -B "$dir" "${flags[@]}" >/dev/null
cmake --build "$dir" -j "$(nproc)"
