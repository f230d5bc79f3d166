#!/usr/bin/env bash
# Drives the real glowview from outside as a user would: drops pictures with the
# XDND tool, sets the glow with keys (reading the title back), presses S and
# checks every pixel of each snapshot against the glow computed by glow_check.
# Usage: glow_e2e.sh GLOWVIEW XDND_DROP WM_CLOSE GLOW_CHECK glsl|cpu
# cpu runs the fixed-function path (no GLSL) with the processor-side pass.
# KEEP=1 keeps the work folder with the pictures and snapshots.
set -uo pipefail

glowview="$1"
drop="$2"
close="$3"
check="$4"
mode="$5"
source "$(dirname "$0")/lib.sh"

need_display_and_tools xdotool xwininfo convert
case "$mode" in
  glsl) unset MESA_GL_VERSION_OVERRIDE ;;
  cpu) export MESA_GL_VERSION_OVERRIDE=1.5 ;;  # GLEW then offers no glCreateProgram
  *) fail "mode must be glsl or cpu" ;;
esac
set_run_env "$glowview"

work="$(mktemp -d)"
trap '[ -n "${KEEP:-}" ] || rm -rf "$work"' EXIT
cd "$work"

# Test pictures with gradients, noise, pure colours and varied alpha; odd sizes included.
"$check" make wide.png 301 199 1 || fail "cannot make wide.png"
"$check" make tall.png 130 67 2 || fail "cannot make tall.png"
"$check" make even.png 200 150 3 || fail "cannot make even.png"
convert wide.png -crop 120x90+0+0 +repage -quality 90 crop.jpg || fail "cannot make crop.jpg"

# Keys (press, tap, set_glow in lib.sh) are real key events sent through XTEST to
# the focused window; tests that show windows take the display's focus one at a
# time (the CTest resource lock display_focus), so they reach this window.

# The program's log; set_glow counts its lines around each key (lib.sh).
program_log=stdout.txt
wall_line='\]: Create texture for wall: '

tiles() {  # WxH; the number of 64 x 64 textures of a picture of that size
  local w="${1%x*}" h="${1#*x}"
  echo $(( ((w + 63) / 64) * ((h + 63) / 64) ))
}

# Waits for the processor-side pass after the last key that set_glow pressed: the pass
# uploads a wall of `tiles` textures, each logged. It comes 20 frames after the key, so
# normally after the title showed the key's effect; on a slow machine it may have come
# before the title was read, which only the deadline tells apart from an earlier pass.
wait_for_pass_after_key() {  # tiles
  wait_for_lines stdout.txt "$key_log_after" "$wall_line" "$1" 20 && return 0
  has_matches_after stdout.txt "$key_log_before" "$wall_line" "$1"
}

shoot() {  # snapshot name: one press of S writes it
  press s
  wait_for_file "$1"
}

# Sets the glow, waits for the processor-side pass (cpu) and takes the snapshot; the
# title after it shows that no key acted again meanwhile.
snap_and_check() {  # snapshot name, picture, R G B LEVEL, expected size (WxH)
  local name="$1" picture="$2" size="$7" want="R$3 G$4 B$5 LEVEL=$6"
  key_log_before=""
  set_glow "$3" "$4" "$5" "$6"
  if [ "$mode" = cpu ] && [ -n "$key_log_before" ]; then
    wait_for_pass_after_key "$(tiles "$size")" || fail "no processor-side pass after the keys for $want"
  fi
  shoot "$name" || fail "no $name after S"
  [ "$(title)" = "$want" ] || fail "the glow changed after the keys: '$(title)', not '$want'"
  local args=("$check" compare "$picture" "$name" "$3" "$4" "$5" "$6" "$mode" "${size%x*}" "${size#*x}")
  echo "check $name: $picture R$3 G$4 B$5 LEVEL=$6 ($mode)"
  "${args[@]}" || fail "$name does not show $picture with R$3 G$4 B$5 LEVEL=$6"
}

# The drop is answered after the load; keys and S pressed later act on a frame at the new size.
# cpu: the pass runs in the update right after the load, so the wall is uploaded twice: the
# load makes only the textures beyond those of the wall it replaces, the pass all of its own.
wall_tiles=0
drop_file() {  # file, expected client size
  local before size made
  before="$(line_count stdout.txt)"
  "$drop" --timeout 60 "$id" "$work/$1" || fail "the drop of $1 was not finished"
  size="$(wait_for_size "$id" "$2")" || fail "client area after dropping $1 is $size, not $2"
  if [ "$mode" = cpu ]; then
    made=$(( $(tiles "$2") > wall_tiles ? $(tiles "$2") - wall_tiles : 0 ))
    wait_for_lines stdout.txt "$before" "$wall_line" $((made + $(tiles "$2"))) 20 ||
      fail "no processor-side pass after the load of $1"
  fi
  wall_tiles="$(tiles "$2")"
}

# Numbering: snapshot0.png and snapshot2.png exist already.
if [ "$mode" = glsl ]; then
  printf 'zero' > snapshot0.png
  printf 'two' > snapshot2.png
fi

# -v keeps the log lines the waits read (a program without options ignores it);
# stdbuf makes each line reach the file as it is written.
"${run_env[@]}" stdbuf -oL "$glowview" -v >stdout.txt 2>stderr.txt &
pid=$!
find_window "$pid" || case $? in
  1) fail "glowview ended at start-up" ;;
  *) fail "no window of class glowView appeared" ;;
esac
wait_for_size "$id" 640x480 >/dev/null || fail "no 640x480 client area"
[ "$(title)" = "R1 G1 B0 LEVEL=10" ] || fail "start title is '$(title)'"

if [ "$mode" = glsl ]; then
  # S before any picture writes nothing; the request is served by the first frame after a
  # drop. Holding S only sets the request again, so hold it while the window has the focus.
  for _ in $(seq 1 10); do
    focus
    xdotool keydown s; sleep 0.4
    focused && { xdotool keyup s; break; }
    xdotool keyup s
  done
  [ ! -e snapshot1.png ] || fail "S before any picture wrote snapshot1.png"
  "$drop" --timeout 60 "$id" "$work/wide.png" || fail "the drop of wide.png was not finished"
  wait_for_file snapshot1.png || fail "no snapshot1.png after the drop"
  echo "check snapshot1.png (the first frame after the drop, already at the picture's size)"
  "$check" compare wide.png snapshot1.png 1 1 0 10 glsl 301 199 ||
    fail "snapshot1.png is not wide.png with the start glow"
  size="$(wait_for_size "$id" 301x199)" || fail "client area is $size, not 301x199"
  [ "$(cat snapshot0.png)" = zero ] && [ "$(cat snapshot2.png)" = two ] || fail "an existing snapshot was overwritten"

  snap_and_check snapshot3.png wide.png 0 1 1 4 301x199
  snap_and_check snapshot4.png wide.png 1 0 1 13 301x199
  drop_file tall.png 130x67
  snap_and_check snapshot5.png tall.png 1 1 1 1 130x67

  # A JPEG loads too; then F5 after its file was deleted keeps it shown.
  drop_file crop.jpg 120x90
  t="$(title)"
  rm crop.jpg
  n=6
  before="$(line_count stdout.txt)"
  press F5
  # A reload logs the driver again.
  wait_for_line stdout.txt '\]: GL_VERSION: ' 5 "$before" ||
    fail "F5 did not reload: no driver lines logged after it"
  shoot "snapshot$n.png" || fail "no snapshot$n.png after F5"
  grep -q 'crop.jpg: no such file' stderr.txt || fail "F5 on a deleted file: standard error: $(cat stderr.txt)"
  ! "$check" grey "snapshot$n.png" >/dev/null || fail "after F5 on a deleted file only the clear colour is shown"
  last=$n
  [ "$(title)" = "$t" ] || fail "F5 changed the title to '$(title)'"
else
  drop_file even.png 200x150
  snap_and_check snapshot0.png even.png 1 1 0 10 200x150
  snap_and_check snapshot1.png even.png 1 0 0 2 200x150
  drop_file wide.png 301x199  # the pass runs in the update right after the load
  snap_and_check snapshot2.png wide.png 1 0 0 2 301x199
  snap_and_check snapshot3.png wide.png 0 0 1 30 301x199
  last=3
fi
# Every S wrote one snapshot, and nothing else did.
count="$(ls snapshot*.png | wc -l)"
[ "$count" -eq $((last + 1)) ] || fail "$count snapshot files, not $((last + 1)): $(ls snapshot*.png | tr '\n' ' ')"

kill -0 "$pid" 2>/dev/null || fail "glowview ended"
"$close" "$id" || fail "cannot send the close request"
wait_for_exit "$pid" 100
[ "$status" = 0 ] || fail "glowview did not end with status 0 after the close request (status '$status')"
pid=""
grep -q 'glGetError' stdout.txt && fail "GL error: $(grep glGetError stdout.txt)"
grep -q 'is not found' stdout.txt && fail "missing GLSL name: $(grep 'is not found' stdout.txt | head -n 1)"
# Standard error holds only what F5 on the deleted file said.
grep -v 'crop.jpg: no such file$' stderr.txt | grep -q . && fail "unexpected standard error: $(cat stderr.txt)"
echo "PASS"
