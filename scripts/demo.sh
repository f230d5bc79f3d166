#!/usr/bin/env bash
# Shows glowview working without a screen: runs it on $DISPLAY (a virtual one),
# drops the bundled sample, saves a snapshot at the start glow and one at
# R0 G1 B1 LEVEL=3, closes it and says where the snapshots are.
# Usage: scripts/demo.sh BUILD_DIR OUTPUT_DIR
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="$1"
out="$2"
glowview="$build/src/glowview"
drop="$build/tests/xdnd_drop"
close="$build/tests/wm_close"
sample="$root/samples/sample.png"
source "$root/tests/e2e/lib.sh"

# The demo's own failure line, in place of the tests' one from lib.sh.
fail() {
  echo "demo: $*" >&2
  [ -n "${pid:-}" ] && kill "$pid" 2>/dev/null
  exit 1
}
for tool in "$glowview" "$drop" "$close"; do
  [ -x "$tool" ] || fail "$tool is missing: build first (scripts/build.sh)"
done

mkdir -p "$out"
cd "$out"
rm -f snapshot*.png  # so that the two snapshots are snapshot0.png and snapshot1.png

"$glowview" > glowview.log 2>&1 &
pid=$!
find_window "$pid" || case $? in
  1) fail "glowview ended at start-up (see $out/glowview.log)" ;;
  *) fail "no glowview window appeared" ;;
esac

snapshot() {  # file name that S is to write
  sleep 1  # without GLSL the glow pass comes 20 frames after the last key
  press s
  for _ in $(seq 1 100); do [ -s "$1" ] && { sleep 0.2; return 0; }; sleep 0.05; done
  fail "no $1 was written"
}

"$drop" --timeout 60 "$id" "$sample" || fail "the drop was not taken"
sleep 0.5
snapshot snapshot0.png
first="$(title)"
set_glow 0 1 1 3
snapshot snapshot1.png
second="$(title)"
"$close" "$id"
wait "$pid" || fail "glowview ended with status $?"
pid=""

echo "glowview showed $sample on a virtual display. Snapshots:"
echo "  $out/snapshot0.png  ($first)"
echo "  $out/snapshot1.png  ($second)"
