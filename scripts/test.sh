#!/usr/bin/env bash
# Installs what is missing, builds the plain and the sanitizer build, and runs
# every test of both on a virtual display.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"

bash "$root/scripts/install-deps.sh"
bash "$root/scripts/build.sh" plain
bash "$root/scripts/build.sh" sanitize

export ASAN_OPTIONS="detect_leaks=1:abort_on_error=0:${ASAN_OPTIONS:-}"
export LSAN_OPTIONS="suppressions=$root/scripts/lsan.supp:print_suppressions=0:${LSAN_OPTIONS:-}"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1:${UBSAN_OPTIONS:-}"
# Mesa's shader-cache thread ends inside exit(), while the leak checker stops
# every thread to scan them; a thread caught half-gone crashes the checker.
export MESA_SHADER_CACHE_DISABLE=true

run_suite() {
  local dir="$1"
  echo "== tests in ${dir#$root/}"
  ctest --test-dir "$dir" --output-on-failure -j "$(nproc)"
}

bash "$root/scripts/with-display.sh" bash -c "
  set -e
  $(declare -f run_suite)
  root='$root'
  run_suite '$root/build'
  run_suite '$root/build-sanitize'
"
