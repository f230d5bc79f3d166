#!/usr/bin/env bash
# Drives the real glowview from outside and checks what it draws where: every pixel of
# odd and 1 x 1 pictures, in the window (screenshots) and in snapshots; a picture
# centred in a larger window; a picture larger than the screen opened fitted without
# seams (the zoom in the title), saved whole and exact, shown at one texel per pixel with F,
# panned by dragging and the wheel, zoomed with +; a 20000 x 600 panorama shown, panned to
# its far end and saved exactly; snapshots that cannot be written
# (read-only or full directory) leave nothing and are reported.
# Usage: viewer_view_e2e.sh GLOWVIEW XDND_DROP WM_CLOSE GLOW_CHECK glsl|cpu|held-s
# cpu runs the fixed-function path (no GLSL) with the processor-side pass; held-s
# checks only that one long press of S writes one snapshot.
# KEEP=1 keeps the work folder with the pictures, snapshots and screenshots.
set -uo pipefail

glowview="$1"
drop="$2"
close="$3"
check="$4"
mode="$5"
source "$(dirname "$0")/lib.sh"

need_display_and_tools xdotool xwininfo import setpriv unshare
case "$mode" in
  glsl|held-s) unset MESA_GL_VERSION_OVERRIDE ;;
  cpu) export MESA_GL_VERSION_OVERRIDE=1.5 ;;  # GLEW then offers no glCreateProgram
  *) fail "mode must be glsl, cpu or held-s" ;;
esac
set_run_env "$glowview"

work="$(mktemp -d)"
trap '[ -n "${KEEP:-}" ] || rm -rf "$work"' EXIT
cd "$work"

start() {  # directory, command prefix...; starts glowview there and finds its window
  local dir="$1"
  shift
  (cd "$dir" && exec "$@" "${run_env[@]}" "$glowview") >"$work/stdout.txt" 2>"$work/stderr.txt" &
  pid=$!
  find_window "$pid" || case $? in
    1) fail "glowview ended at start-up" ;;
    *) fail "no window of class glowView appeared" ;;
  esac
  wait_for_size "$id" 640x480 >/dev/null || fail "no 640x480 client area"
  xdotool windowmove "$id" 0 0
}

stop() {
  kill -0 "$pid" 2>/dev/null || fail "glowview ended"
  "$close" "$id" || fail "cannot send the close request"
  wait_for_exit "$pid" 100
  [ "$status" = 0 ] || fail "glowview did not end with status 0 (status '$status')"
  pid=""
}

drop_file() {  # file, expected client size
  "$drop" --timeout 60 "$id" "$work/$1" || fail "the drop of $1 was not finished"
  local size
  size="$(wait_for_size "$id" "$2")" || fail "client area after dropping $1 is $size, not $2"
}

# Presses the key once and runs the check command: one press acts once, however long
# the frame it meets.
press_once() {  # key, check command...
  local key="$1"
  shift
  press "$key"
  "$@"
}

# Presses S and waits for a new line that names a snapshot of the size; sets snap.
# The snapshot of the press is the first new one of the picture's size.
snapshot() {  # expected size "W x H"
  local pattern="^glowview: saved snapshot[0-9]+\\.png \\($1\\)$" before line
  before="$(grep -c -E -- "$pattern" "$work/stdout.txt")"
  press_once s wait_for_output_line "$work/stdout.txt" $((before + 1)) "$pattern" 150 >line.txt ||
    fail "no snapshot of $1 reported after S (stdout: $(tail -n 3 "$work/stdout.txt"))"
  line="$(cat line.txt)"
  snap="$(echo "$line" | awk '{print $3}')"
  [ -s "$snap" ] || fail "$snap reported but not there"
}

# The window shows the snapshot with its top left pixel at (x, y), clear colour elsewhere.
expect_window() {  # snapshot, x, y, what
  wait_for_window_picture "$id" shot.png "$check" inset shot.png "$1" "$2" "$3" >check.txt ||
    fail "$4: the window does not show $1 at ($2, $3): $(cat check.txt)"
  echo "window ok: $4"
}

if [ "$mode" = held-s ]; then
  "$check" make pic.png 64 48 7 || fail "cannot make pic.png"
  start "$work"
  drop_file pic.png 64x48
  focus
  xdotool keydown s; sleep 1; xdotool keyup s
  wait_for_output_line "$work/stdout.txt" 1 '^glowview: saved ' 100 >/dev/null || fail "no snapshot after S"
  # Anything a second act of the press would have written has been written by now.
  sleep 1
  count="$(ls snapshot*.png | wc -l)"
  [ "$count" = 1 ] || fail "one press of S held 1 s wrote $count snapshots"
  stop
  echo "PASS"
  exit 0
fi

# ---- every pixel of odd and tiny pictures, in snapshots and in the window ----
start "$work"
while read -r w h seed; do
  "$check" make "p${w}x$h.png" "$w" "$h" "$seed" || fail "cannot make p${w}x$h.png"
  drop_file "p${w}x$h.png" "${w}x$h"
  snapshot "$w x $h"
  "$check" compare "p${w}x$h.png" "$snap" 1 1 0 10 "$mode" "$w" "$h" >check.txt ||
    fail "$snap is not p${w}x$h.png with the start glow: $(cat check.txt)"
  expect_window "$snap" 0 0 "${w} x $h picture, every pixel"
done <<'EOF'
1 1 1
2 1 2
1 3 3
301 199 4
65 63 5
EOF

# A window the user made larger shows the picture centred (whole pixels) on grey.
xdotool windowsize "$id" 500 400
size="$(wait_for_size "$id" 500x400)" || fail "window is $size, not 500x400"
expect_window "$snap" $(((500 - 65) / 2)) $(((400 - 63) / 2)) "65 x 63 centred in 500 x 400"
stop

# ---- a picture larger than the screen ----
screen="$(xwininfo -root | awk '/^  Width:/ {w=$2} /^  Height:/ {h=$2} END {print w "x" h}')"
sw="${screen%x*}"; sh="${screen#*x}"
bw=$((sw + 221)); bh=$((sh + 300))
"$check" make big.png "$bw" "$bh" 9 || fail "cannot make big.png"
"$check" ramp ramp.png "$bw" "$bh" || fail "cannot make ramp.png"
start "$work"
drop_file big.png "$screen"  # no work area is set on this display: the whole screen
snapshot "$bw x $bh"
"$check" compare big.png "$snap" 1 1 0 10 "$mode" "$bw" "$bh" >check.txt ||
  fail "$snap is not the whole of big.png with the start glow: $(cat check.txt)"
echo "whole picture saved: $snap, $bw x $bh"
# Larger than the work area allows: opened fitted, its zoom in the title; F shows one
# texel per pixel from the top left corner.
[[ "$(title)" =~ ^R1\ G1\ B0\ LEVEL=10\ [0-9]+%$ ]] || fail "fitted big picture: title '$(title)'"
press_once f wait_for_window_picture "$id" shot.png "$check" inset shot.png "$snap" 0 0 >check.txt ||
  fail "F does not show big.png at one texel per pixel: $(cat check.txt)"
echo "window ok: big picture, top left after F"
wait_for_title "R1 G1 B0 LEVEL=10" || fail "one texel per pixel: title '$(title)'"

# Panning: a drag moves the picture with the mouse, the wheel moves it an eighth of the
# window per notch, Shift+wheel sideways; it stops at the picture's edges.
xdotool mousemove --window "$id" 700 600 mousedown 1 mousemove --window "$id" 650 570 mouseup 1
expect_window "$snap" -50 -30 "dragged 50 left, 30 up"
xdotool mousemove --window "$id" 700 600 click 5
expect_window "$snap" -50 $((-30 - sh / 8)) "wheel down one notch"
focus
xdotool keydown shift click 5 click 5 keyup shift
maxX=$((bw - sw))
panX=$((50 + 2 * (sw / 8))); [ "$panX" -gt "$maxX" ] && panX="$maxX"
expect_window "$snap" $((-panX)) $((-30 - sh / 8)) "Shift+wheel down twice: right, up to the edge"
xdotool click 4 click 4 click 4
expect_window "$snap" $((-panX)) 0 "wheel up three notches: the top edge"

# + zooms a step (150 %) around the middle of the window; - comes back to one texel per pixel.
press_once plus wait_for_title "R1 G1 B0 LEVEL=10 150%" 2 || fail "+: title '$(title)'"
press_once minus wait_for_title "R1 G1 B0 LEVEL=10" 2 || fail "- after +: title '$(title)'"

# A picture larger than the work area opens fitted to the window, without seams between
# its tiles; F shows it at one texel per pixel, and F again fits it.
drop_file ramp.png "$screen"
scale="$(awk -v a="$sw" -v b="$bw" -v c="$sh" -v d="$bh" 'BEGIN {s = a / b; if (c / d < s) s = c / d; print s}')"
fw="$(awk -v s="$scale" -v w="$bw" 'BEGIN {printf "%d", w * s}')"
fh="$(awk -v s="$scale" -v h="$bh" 'BEGIN {printf "%d", h * s}')"
wait_for_window_picture "$id" shot.png "$check" fitted shot.png "$fw" "$fh" >check.txt ||
  fail "ramp.png does not open fitted in the window as $fw x $fh without seams: $(cat check.txt)"
echo "fitted on open: $(grep 'picture shown' check.txt | tail -n 1)"
snapshot "$bw x $bh"  # still the whole picture at one texel per pixel
press_once f wait_for_window_picture "$id" shot.png "$check" inset shot.png "$snap" 0 0 >check.txt ||
  fail "F does not show the picture at one texel per pixel: $(cat check.txt)"
echo "window ok: F, one texel per pixel"
press_once f wait_for_window_picture "$id" shot.png "$check" fitted shot.png "$fw" "$fh" >check.txt ||
  fail "F again does not fit ramp.png as $fw x $fh: $(cat check.txt)"
echo "window ok: F again, fitted"
# Closed right after S: the snapshot is still written, whole, before the program ends.
before="$(ls snapshot*.png | wc -l)"
press s
stop
[ "$(ls snapshot*.png | wc -l)" -gt "$before" ] || fail "S just before closing wrote nothing"
last="$(grep '^glowview: saved' stdout.txt | tail -n 1 | awk '{print $3}')"
"$check" compare ramp.png "$last" 1 1 0 10 "$mode" "$bw" "$bh" >check.txt ||
  fail "$last, saved while closing, is not the whole ramp: $(cat check.txt)"
ls -A | grep -q '\.part$' && fail "a temporary file was left: $(ls -A | grep '\.part$')"

# ---- a 20000 x 600 panorama: shown, panned to its far end, saved exactly ----
pw=20000; ph=600
"$check" make pano.png "$pw" "$ph" 13 || fail "cannot make pano.png"
start "$work"
drop_file pano.png "${sw}x$((ph < sh ? ph : sh))"
snapshot "$pw x $ph"
"$check" compare pano.png "$snap" 1 1 0 10 "$mode" "$pw" "$ph" >check.txt ||
  fail "$snap is not the whole of pano.png with the start glow: $(cat check.txt)"
echo "panorama saved: $snap, $pw x $ph"
press_once f wait_for_title "R1 G1 B0 LEVEL=10" 2 || fail "F on the fitted panorama: title '$(title)'"
expect_window "$snap" 0 0 "panorama, left end"
# Shift+wheel moves it an eighth of the window a notch, each notch exactly once: one notch
# short of its end first, then two more, of which the second meets the end and moves nothing.
step=$((sw / 8)); short=$(((pw - sw - 1) / step))
# Each notch is one wheel click (button 5), sent once, in one xdotool run with Shift held.
notches() {  # count
  local clicks=() i
  for ((i = 0; i < $1; i++)); do clicks+=(click 5 sleep 0.005); done
  focus
  xdotool keydown shift "${clicks[@]}" keyup shift
}
xdotool mousemove --window "$id" 300 300
notches "$short"
expect_window "$snap" $((-short * step)) 0 "panorama, $short notches of Shift+wheel"
notches 2
expect_window "$snap" $((sw - pw)) 0 "panorama, two more: the right end, and no further"
xdotool mousemove --window "$id" 200 300 mousedown 1 mousemove --window "$id" 700 300 mouseup 1
expect_window "$snap" $((sw - pw + 500)) 0 "panorama, dragged 500 back"
stop

# ---- snapshots that cannot be written ----
"$check" make noisy.png 301 199 11 || fail "cannot make noisy.png"
while read -r kind reason; do
  dir="$work/$kind"
  mkdir "$dir"
  case "$kind" in
    read-only)
      chmod 555 "$dir"
      # Root writes anywhere unless it gives up overriding permissions.
      prefix=(setpriv --bounding-set=-dac_override,-dac_read_search) ;;
    full)
      # A private 64 KiB file system over the directory, smaller than the snapshot;
      # entered again after the mount, which the old working directory lies under.
      mountAndRun='mount -t tmpfs -o size=64k tmpfs "$PWD" && cd "$PWD" && exec "$@"'
      prefix=(unshare -m sh -c "$mountAndRun" sh)
      [ "$(id -u)" = 0 ] || prefix=(unshare -r -m sh -c "$mountAndRun" sh) ;;
  esac
  start "$dir" "${prefix[@]}"
  drop_file noisy.png 301x199
  press_once s wait_for_output_line "$work/stderr.txt" 1 '^glowview: cannot save' 150 >line.txt ||
    fail "$kind: no message on standard error after S"
  line="$(cat line.txt)"
  [ "$line" = "glowview: cannot save snapshot0.png: $reason" ] || fail "$kind: message '$line'"
  echo "$kind: $line"
  [ -z "$(ls -A "/proc/$pid/cwd/")" ] || fail "$kind: left $(ls -A "/proc/$pid/cwd/")"
  grep -q 'saved' stdout.txt && fail "$kind: a snapshot reported as saved"
  t="$(title)"
  press 1
  wait_for_title_change "$t" || fail "$kind: the program stopped answering keys"
  stop
done <<'EOF'
read-only Permission denied
full No space left on device
EOF
echo "PASS"
