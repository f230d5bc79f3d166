#!/usr/bin/env bash
# Builds glowview. Usage: scripts/build.sh [plain|sanitize|windows] (default plain).
# Build folders: build/ (plain), build-sanitize/ (AddressSanitizer + UBSan) and
# build-windows/ (cross-built .exe files for 64-bit Windows, run here under Wine).
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
kind="${1:-plain}"

case "$kind" in
  plain)    dir="$root/build";          flags=() ;;
  sanitize) dir="$root/build-sanitize"; flags=(-DGLOWVIEW_SANITIZE=ON -DCMAKE_BUILD_TYPE=Debug) ;;
  windows)
    bash "$root/scripts/install-deps.sh" windows
    # The libraries first (cached), the native tools that drive the .exe in the tests, and the
    # native icon tool that draws the .exe's icon.
    deps="$(bash "$root/scripts/build-windows-deps.sh" | tail -n 1)"
    cmake -S "$root" -B "$root/build" >/dev/null
    cmake --build "$root/build" -j "$(nproc)" --target xdnd_drop wm_close glow_check make_icon
    dir="$root/build-windows"
    # The libraries found in a cache made with another prefix would still be linked:
    # a new prefix (other patches, other sources) starts the cache afresh.
    if ! grep -qF "GTest_DIR:PATH=$deps/" "$dir/CMakeCache.txt" 2>/dev/null; then
      rm -f "$dir/CMakeCache.txt"
    fi
    flags=(-G Ninja -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64-x86_64.cmake"
           -DCMAKE_PREFIX_PATH="$deps" -DGLEW_USE_STATIC_LIBS=ON
           -DGLOWVIEW_HOST_TOOLS_DIR="$root/build/tests"
           -DGLOWVIEW_HOST_ICON_TOOL="$root/build/data/make_icon") ;;
  *) echo "usage: $0 [plain|sanitize|windows]" >&2; exit 2 ;;
esac

cmake -S "$root" -B "$dir" "${flags[@]}" >/dev/null
cmake --build "$dir" -j "$(nproc)"
