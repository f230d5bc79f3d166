#!/usr/bin/env bash
# Installs what is missing, builds the plain and the sanitizer build, and runs
# every test of both on a virtual display; then the same for the Windows build
# under Wine.
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

# The Windows build: cross-built programs, their tests under Wine on a display of their own.
bash "$root/scripts/build.sh" windows
bash "$root/scripts/with-display.sh" bash -c "
  echo '== tests in build-windows (under Wine)'
  status=0
  # The Wine prefix is made on first use (about 20 s); before the tests, not within one.
  bash '$root/scripts/wine-run.sh' cmd /c exit
  bash '$root/scripts/wine-run.sh' --serve
  ctest --test-dir '$root/build-windows' --output-on-failure -j $(nproc) || status=\$?
  bash '$root/scripts/wine-run.sh' --stop
  exit \$status
"

# Reliability: a soak of the real program on both paths (SOAK_DROPS drops each,
# default 300), then every fuzz target for a bounded time (FUZZ_SECONDS each,
# default 60); any crash, hang, leak or sanitizer report fails the command.
reliability="$root/build/reliability-summary.txt"
: >"$reliability"
for path in glsl cpu; do
  SOAK_SUMMARY="$reliability" bash "$root/scripts/with-display.sh" bash "$root/tests/soak/soak.sh" \
    "$root/build/src/glowview" "$root/build/tests/xdnd_drop" "$root/build/tests/glow_check" "$path"
done
bash "$root/scripts/fuzz.sh"
cat "$root/build-fuzz/fuzz-summary.txt" >>"$reliability"
echo "== reliability summary"
cat "$reliability"
echo "crashes 0, hangs 0, leaks 0: each would have failed the run above"
