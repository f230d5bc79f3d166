#!/usr/bin/env bash
# Builds the libFuzzer targets (build-fuzz/, clang) and runs each for a bounded
# time over a scratch corpus seeded from the test data and the kept inputs.
# Fails on any crash, timeout, leak, out-of-memory or sanitizer report; the
# inputs that caused them are left in the artifact folder. Targets run side by side, one
# per processor.
# Usage: scripts/fuzz.sh [seconds per target] (default 60, or FUZZ_SECONDS).
# FUZZ_ARTIFACTS: artifact folder (default build-fuzz/artifacts).
# FUZZ_TARGETS: names to run (default all).
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
seconds="${1:-${FUZZ_SECONDS:-60}}"
build="$root/build-fuzz"
artifacts="${FUZZ_ARTIFACTS:-$build/artifacts}"
testdata="$root/../shared/testdata"
fuzz="$root/tests/fuzz"
targets=(${FUZZ_TARGETS:-png jpeg jpeg_memory webp archive convert path exif})

CC=clang CXX=clang++ cmake -S "$root" -B "$build" -DGLOWVIEW_FUZZ=ON \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" -j "$(nproc)" >/dev/null

# A fresh corpus per run: seeds and kept inputs, never committed.
seed_corpus() {
  local target="$1" dir="$2"
  rm -rf "$dir"
  mkdir -p "$dir"
  for kept in "$fuzz/regressions/$target" "$fuzz/seeds/$target"; do
    [ -d "$kept" ] && cp "$kept"/* "$dir"/ 2>/dev/null || true
  done
  case "$target" in
    png) cp "$testdata"/pngsuite/*.png "$root"/samples/*.png "$dir"/ ;;
    jpeg|jpeg_memory) cp "$testdata"/jpeg/*.jp*g "$fuzz"/regressions/jpeg/* "$dir"/ ;;
    exif) cp "$fuzz"/seeds/jpeg/* "$fuzz"/seeds/png/* "$dir"/ ;;
    archive)
      # Each archive behind the length and text of a name to look up.
      local zip name i=0
      for zip in "$testdata"/zip/*.zip; do
        for name in test.txt gophercolor16x16.png dir/bar foo.txt bar.txt missing; do
          i=$((i + 1))
          { printf "\\$(printf '%03o' "${#name}")%s" "$name"; cat "$zip"; } >"$dir/zip-$i"
        done
      done ;;
  esac
}

# A picture within the side limit finishes or fails in well under a second
# in a plain build; the sanitizers make every pixel some ten times dearer.
timeout_for() {
  case "$1" in
    png|jpeg|jpeg_memory|webp) echo 3 ;;
    *) echo 1 ;;
  esac
}

mkdir -p "$artifacts"
summary="$build/fuzz-summary.txt"
: >"$summary"

# One target: its summary line in fuzz-TARGET.line, and fuzz-TARGET.failed when it found
# anything or failed.
fuzz_one() {
  local target="$1"
  local corpus="$build/corpus/$target" log="$build/fuzz-$target.log"
  rm -f "$build/fuzz-$target.line" "$build/fuzz-$target.failed"
  seed_corpus "$target" "$corpus"
  local seeds
  seeds=$(find "$corpus" -type f | wc -l)
  local dict=()
  case "$target" in
    png) dict=(-dict="$fuzz/png.dict") ;;
    jpeg|jpeg_memory) dict=(-dict="$fuzz/jpeg.dict") ;;
    webp) dict=(-dict="$fuzz/webp.dict") ;;
    archive) dict=(-dict="$fuzz/archive.dict") ;;
    path) dict=(-dict="$fuzz/path.dict") ;;
    exif) dict=(-dict="$fuzz/exif.dict") ;;
  esac
  rm -f "$artifacts/$target-"*
  echo "== fuzz $target for ${seconds}s ($seeds seeds)"
  local start status=0
  start=$(date +%s)
  ASAN_OPTIONS="detect_leaks=1:allocator_may_return_null=1:${ASAN_OPTIONS:-}" \
  UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1" \
    "$build/tests/fuzz/fuzz_$target" "${dict[@]}" -max_total_time="$seconds" \
      -timeout="$(timeout_for "$target")" -rss_limit_mb=2048 -malloc_limit_mb=2048 \
      -detect_leaks=1 -close_fd_mask=1 -print_final_stats=1 \
      -artifact_prefix="$artifacts/$target-" "$corpus" >"$log" 2>&1 || status=$?
  local elapsed=$(( $(date +%s) - start ))
  local runs rss inputs found kinds="" kind
  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)
  rss=$(sed -n 's/^stat::peak_rss_mb: *//p' "$log" | tail -1)
  inputs=$(find "$corpus" -type f | wc -l)
  found=$(find "$artifacts" -name "$target-*" -type f | wc -l)
  for kind in crash:crashes timeout:timeouts leak:leaks oom:out-of-memory; do
    kinds="$kinds, ${kind#*:} $(find "$artifacts" -name "$target-${kind%%:*}-*" -type f | wc -l)"
  done
  printf 'fuzz %-12s %10s executions in %4ss, corpus %5s inputs (%s seeds), peak %s MB%s\n' \
    "$target" "${runs:-0}" "$elapsed" "$inputs" "$seeds" "${rss:-?}" "$kinds" \
    >"$build/fuzz-$target.line"
  cat "$build/fuzz-$target.line"
  if [ "$status" -ne 0 ] || [ "$found" -ne 0 ]; then
    grep -E "ERROR|SUMMARY|runtime error|Test unit written" "$log" | head -20 >&2 || true
    : >"$build/fuzz-$target.failed"
  fi
}

# One target a processor at a time: each still gets its whole time on a processor of its own.
jobs_max=$(nproc)
for target in "${targets[@]}"; do
  while [ "$(jobs -rp | wc -l)" -ge "$jobs_max" ]; do
    wait -n || true
  done
  fuzz_one "$target" &
done
wait

failed=()
for target in "${targets[@]}"; do
  cat "$build/fuzz-$target.line" >>"$summary" 2>/dev/null ||
    echo "fuzz $target: no result" | tee -a "$summary"
  if [ -e "$build/fuzz-$target.failed" ] || [ ! -e "$build/fuzz-$target.line" ]; then
    failed+=("$target")
  fi
done

if [ ${#failed[@]} -ne 0 ]; then
  echo "fuzzing failed: ${failed[*]}; inputs in $artifacts" >&2
  exit 1
fi
