#!/usr/bin/env bash
# Builds the benchmarks in Release (build-release/) and runs them all, the GL ones on a
# private virtual display on both paths, then prints each goal as a ratio measured in
# the same run. Usage: scripts/bench.sh [REPETITIONS] (default 3; the best of them counts).
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
repetitions="${1:-3}"
dir="$root/build-release"
out="$dir/bench-results"

bash "$root/scripts/install-deps.sh"
cmake -S "$root" -B "$dir" -DCMAKE_BUILD_TYPE=Release -DGLOWVIEW_TESTS=OFF >/dev/null
cmake --build "$dir" -j "$(nproc)" --target app_bench gl_bench foundation_bench start_bench
mkdir -p "$out"
rm -f "$out"/*.json

run() {
  local name="$1"
  shift
  echo "== $name"
  "$@" --benchmark_repetitions="$repetitions" --benchmark_out="$out/$name.json" \
    --benchmark_out_format=json >/dev/null
}

# The 2-thread figure is wall-clock time on a shared machine: the pass gets more tries.
repetitions_before="$repetitions"
repetitions=$(( repetitions < 5 ? 5 : repetitions ))
run glow "$dir/bench/app_bench"
run webp "$dir/bench/foundation_bench" --benchmark_filter='Webp'
repetitions="$repetitions_before"
# Loading a photo tagged to be turned against the same photo upright, taken in turns.
run orient "$dir/bench/foundation_bench" --benchmark_filter='LoadJpeg' \
  --benchmark_enable_random_interleaving=true
for path in glsl fixed; do
  override=()
  [ "$path" = fixed ] && override=(env MESA_GL_VERSION_OVERRIDE=1.5)
  run "gl-$path" "${override[@]}" bash "$root/scripts/with-display.sh" \
    "$dir/bench/gl_bench" --benchmark_filter='Frame|Load|Bare'
  # Memory in a process of its own, one measurement (it drops the photo ten times).
  run "memory-$path" "${override[@]}" bash "$root/scripts/with-display.sh" \
    "$dir/bench/gl_bench" --benchmark_filter='Memory'
done
# The way to the first picture; the first drop on two screen sizes.
for screen in 1920x1080 4096x3072; do
  GLOWVIEW_SCREEN="$screen" run "start-$screen" bash "$root/scripts/with-display.sh" \
    "$dir/bench/start_bench"
done
python3 "$root/scripts/bench_report.py" "$out"
