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

die() {
  echo "demo: $*" >&2
  [ -n "${pid:-}" ] && kill "$pid" 2>/dev/null
  exit 1
}
for tool in "$glowview" "$drop" "$close"; do
  [ -x "$tool" ] || die "$tool is missing: build first (scripts/build.sh)"
done

mkdir -p "$out"
cd "$out"
rm -f snapshot*.png  # so that the two snapshots are snapshot0.png and snapshot1.png

"$glowview" > glowview.log 2>&1 &
pid=$!
id=""
for _ in $(seq 1 100); do
  id="$(xdotool search --all --pid "$pid" --classname '^glowView$' 2>/dev/null | head -n 1 || true)"
  [ -n "$id" ] && break
  kill -0 "$pid" 2>/dev/null || die "glowview ended at start-up (see $out/glowview.log)"
  sleep 0.1
done
[ -n "$id" ] || die "no glowview window appeared"
title() { xdotool getwindowname "$id"; }

# Keys are read once per frame; 1, 2, 3 and S act once in a 100 ms press, the
# arrows are tapped and the title is read back.
focus() { timeout 2 xdotool windowfocus --sync "$id" >/dev/null 2>&1 || true; }
press() {
  focus
  xdotool keydown "$1"; sleep 0.1; xdotool keyup "$1"; sleep 0.05
}
tap() { focus; xdotool keydown "$1"; sleep 0.03; xdotool keyup "$1"; }
set_glow() {  # R G B LEVEL
  local want="R$1 G$2 B$3 LEVEL=$4" t
  for _ in $(seq 1 200); do
    t="$(title)"
    if [ "$t" = "$want" ]; then
      sleep 0.3
      [ "$(title)" = "$want" ] && return 0
      continue
    fi
    [[ "$t" =~ ^R([01])\ G([01])\ B([01])\ LEVEL=([0-9]+)$ ]] || die "unexpected title '$t'"
    if [ "${BASH_REMATCH[1]}" != "$1" ]; then press 1
    elif [ "${BASH_REMATCH[2]}" != "$2" ]; then press 2
    elif [ "${BASH_REMATCH[3]}" != "$3" ]; then press 3
    elif [ "${BASH_REMATCH[4]}" -lt "$4" ]; then tap Left
    else tap Right
    fi
    for _ in $(seq 1 100); do [ "$(title)" != "$t" ] && break; sleep 0.02; done
  done
  die "could not set the glow to $want"
}
snapshot() {  # file name that S is to write
  sleep 1  # without GLSL the glow pass comes 20 frames after the last key
  press s
  for _ in $(seq 1 100); do [ -s "$1" ] && { sleep 0.2; return 0; }; sleep 0.05; done
  die "no $1 was written"
}

"$drop" --timeout 60 "$id" "$sample" || die "the drop was not taken"
sleep 0.5
snapshot snapshot0.png
first="$(title)"
set_glow 0 1 1 3
snapshot snapshot1.png
second="$(title)"
"$close" "$id"
wait "$pid" || die "glowview ended with status $?"
pid=""

echo "glowview showed $sample on a virtual display. Snapshots:"
echo "  $out/snapshot0.png  ($first)"
echo "  $out/snapshot1.png  ($second)"
