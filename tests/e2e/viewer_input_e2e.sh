#!/usr/bin/env bash
# Runs the real glowview as a user would and checks what it does with the
# command line, keys (one action per press, repeats, pause, quit), failed loads,
# F5, paging through a folder, idle time, stop signals, + and - on a German keyboard
# layout and a display that goes away.
# Usage: viewer_input_e2e.sh GLOWVIEW XDND_DROP GLOW_CHECK [all|folder-cpu]
# all (the default) runs every check on the driver's own path; folder-cpu only pages through
# a folder, on the fixed-function path (no GLSL) with the processor-side pass.
set -uo pipefail

glowview="$1"
drop="$2"
check="$3"
mode="${4:-all}"
source "$(dirname "$0")/lib.sh"

need_display_and_tools xdotool xwininfo convert Xvfb setxkbmap
case "$mode" in
  all) ;;
  folder-cpu) export MESA_GL_VERSION_OVERRIDE=1.5 ;;  # GLEW then offers no glCreateProgram
  *) fail "mode must be all or folder-cpu" ;;
esac
set_run_env "$glowview"

work="$(mktemp -d)"
trap 'stop_program; rm -rf "$work"' EXIT
cd "$work"

stop_program() {
  if [ -n "${pid:-}" ] && kill -0 "$pid" 2>/dev/null; then kill -KILL "$pid" 2>/dev/null; fi
  pid=""
}

# Starts glowview with the arguments in the work folder and waits for its window.
start() {
  "${run_env[@]}" "$glowview" "$@" >stdout.txt 2>stderr.txt &
  pid=$!
  find_window "$pid" || case $? in
    1) fail "glowview $* ended at start-up" ;;
    *) fail "glowview $*: no window of class glowView appeared" ;;
  esac
}

# Ends the running glowview with one press of Escape and checks status 0.
quit() {
  focus
  xdotool key Escape
  wait_for_exit "$pid" 50
  [ -n "$status" ] || fail "glowview still runs after Escape: $(ps -L -o tid,stat,wchan:32,comm -p "$pid" | tr '\n' ';')"
  [ "$status" = 0 ] || fail "glowview did not end with status 0 after Escape (status '$status')"
  pid=""
}

# Presses the key (none: the start) and checks the title's tail and the snapshot, drawn on
# the path draw_path (glsl or cpu); shots counts the snapshots.
page() {  # key, title tail, picture
  [ -z "$1" ] || { focus; xdotool key "$1"; }
  wait_for_full_title "R1 G1 B0 LEVEL=10 - $2" || fail "${1:-start}: title '$(full_title)', not '... - $2'"
  focus; xdotool key s
  wait_for_file "snapshot$shots.png" || fail "${1:-start} to $2: no snapshot$shots.png"
  "$check" compare "pics/$3" "snapshot$shots.png" 1 1 0 10 "$draw_path" >/dev/null ||
    fail "${1:-start} to $2: snapshot$shots.png is not $3"
  shots=$((shots + 1))
}
# A folder: its pictures in natural order, Page Down and Up, Home and End, the name and
# place in the title, an unreadable file passed over both ways, a file added found once the
# end is passed; each picture checked by its snapshot against the glow of the drawing path.
check_folder_keys() {  # glsl|cpu
  draw_path="$1"
  mkdir pics
  "$check" make pics/img1.png 31 17 21 && "$check" make pics/img10.png 23 29 22 &&
    "$check" make "pics/été 2.png" 19 13 23 || fail "cannot make the folder's pictures"
  printf 'not a picture\n' > pics/img2.png
  printf 'notes\n' > pics/notes.txt
  ln -s missing.png pics/dangling.png
  rm -f snapshot*.png
  shots=0
  start pics
  page "" "img1.png (1/4)" img1.png
  page Next "img10.png (3/4)" img10.png
  page Next "été 2.png (4/4)" "été 2.png"
  page Next "été 2.png (4/4)" "été 2.png"
  page Prior "img10.png (3/4)" img10.png
  page Prior "img1.png (1/4)" img1.png
  page End "été 2.png (4/4)" "été 2.png"
  page Home "img1.png (1/4)" img1.png
  [ "$(grep -c '^glowview: pics/img2.png: not a PNG, JPEG or WebP picture$' stderr.txt)" = 2 ] &&
    [ "$(wc -l < stderr.txt)" = 2 ] || fail "paging through pics: standard error: $(cat stderr.txt)"
  focus; xdotool key End
  wait_for_full_title "R1 G1 B0 LEVEL=10 - été 2.png (4/4)" || fail "End: title '$(full_title)'"
  cp pics/img1.png "pics/été 3.png"
  # A press past the end lists the folder again and moves on to the file added.
  focus; xdotool key Next
  wait_for_full_title "R1 G1 B0 LEVEL=10 - été 3.png (5/5)" ||
    fail "one press past the end after a file was added: title '$(full_title)'"
  quit
}

if [ "$mode" = folder-cpu ]; then
  check_folder_keys cpu
  echo "PASS"
  exit 0
fi

"$check" make wide.png 301 199 1 || fail "cannot make wide.png"
"$check" make small.png 120 90 2 || fail "cannot make small.png"
printf 'not a picture\n' > notes.txt
mkdir folder.png
head -c 300 wide.png > cut.png
# A 48 MP photo, slow enough to decode to be shown reduced first.
"$check" make large.png 8000 6000 6 || fail "cannot make large.png"
convert large.png -quality 90 large.jpg || fail "cannot make large.jpg"
rm -f large.png
# JPEGs whose headers claim 30000 x 30000 pixels (more than a picture's store holds)
# and 65535 x 65535 (past libjpeg's sides); a PNG past the sides of any picture.
convert -size 16x16 xc:red big.jpg || fail "cannot make big.jpg"
sof="$(LC_ALL=C grep -obUaP '\xff\xc0' big.jpg | head -n 1 | cut -d: -f1)"
[ -n "$sof" ] || fail "no SOF0 marker in big.jpg"
cp big.jpg side.jpg
printf '\x75\x30\x75\x30' | dd of=big.jpg bs=1 seek=$((sof + 5)) conv=notrunc status=none
printf '\xff\xff\xff\xff' | dd of=side.jpg bs=1 seek=$((sof + 5)) conv=notrunc status=none
"$check" make past.png 70000 1 3 || fail "cannot make past.png"

# ---- the command line, without a display: nothing of it opens a window
DISPLAY= "$glowview" --help >help.out 2>help.err; status=$?
[ "$status" -eq 0 ] || fail "--help: status $status"
grep -q '^Usage: glowview' help.out && grep -q 'Escape' help.out || fail "--help: $(cat help.out)"
[ ! -s help.err ] || fail "--help wrote to standard error: $(cat help.err)"
DISPLAY= "$glowview" --version >version.out 2>&1; status=$?
[ "$status" -eq 0 ] && grep -qE '^glowview [0-9]' version.out || fail "--version: status $status, $(cat version.out)"
for option in --frobnicate -x; do
  DISPLAY= "$glowview" "$option" wide.png >bad.out 2>bad.err; status=$?
  [ "$status" -eq 2 ] || fail "$option: status $status, not 2"
  grep -q "unknown option '$option'" bad.err && grep -q '^Usage: glowview' bad.err || fail "$option: $(cat bad.err)"
  [ ! -s bad.out ] || fail "$option wrote to standard output"
done
# "Open with" registration is Windows' own: here it says so, changes nothing, status 1.
for option in --register --unregister; do
  DISPLAY= "$glowview" "$option" >open_with.out 2>open_with.err; status=$?
  [ "$status" -eq 1 ] || fail "$option: status $status, not 1"
  grep -qxF "glowview: $option is for Windows only; here the installed desktop entry offers glowview" \
    open_with.err || fail "$option: $(cat open_with.err)"
  [ ! -s open_with.out ] || fail "$option wrote to standard output"
done

# ---- the first frame is the picture: the window opens at its size with it drawn, never
# empty or black; a photo slow to decode shows reduced first, and Escape ends it at once
# A frame of the window's clear colour, or black with a few stray pixels, has a handful of
# colours; the picture or its preview thousands.
looks_empty() { [ "$(convert "$1" -format '%k' info: 2>/dev/null || echo 0)" -le 16 ]; }
# Starts glowview with the file and sets id as soon as its window is shown.
start_shown() {
  "${run_env[@]}" "$glowview" "$1" >stdout.txt 2>stderr.txt &
  pid=$!
  id=""
  for _ in $(seq 1 500); do
    id="$(xdotool search --all --onlyvisible --pid "$pid" "${window_search[@]}" 2>/dev/null | head -n 1 || true)"
    [ -n "$id" ] && return 0
    kill -0 "$pid" 2>/dev/null || fail "glowview $1 ended at start-up"
    sleep 0.02
  done
  fail "glowview $1: no window shown"
}
for first in wide.png large.jpg; do
  start_shown "$first"
  import -window "$id" first-frame.png 2>/dev/null || fail "$first: no screenshot of the first frame"
  ! looks_empty first-frame.png ||
    fail "$first: the first frame seen is empty ($(convert first-frame.png -format '%k' info:) colours)"
  [ "$first" != wide.png ] || [ "$(client_size "$id")" = 301x199 ] ||
    fail "wide.png: the window opened at $(client_size "$id")"
  quit
done
# Pressed while the 48 MP picture decodes: the read stops, the program ends.
start_shown large.jpg
quit
[ ! -s stderr.txt ] || fail "Escape during a long decode: standard error: $(cat stderr.txt)"

# ---- FILE at start is shown as if dropped; standard output stays quiet
start wide.png
size="$(wait_for_size "$id" 301x199)" || fail "glowview wide.png: client area $size, not 301x199"
[ "$(title)" = "R1 G1 B0 LEVEL=10" ] || fail "start title '$(title)'"

# ---- keys: one action per press however long it is held; Left/Right repeat
key_hold() {  # key, seconds: held well past the key-repeat delay
  focus
  xdotool keydown "$1"; sleep "$2"; xdotool keyup "$1"
}
settled_title() {  # the title once it stops changing
  local before after
  after="$(title)"
  for _ in $(seq 1 40); do
    sleep 0.1
    before="$after"; after="$(title)"
    [ "$before" = "$after" ] && { echo "$after"; return 0; }
  done
  echo "$after"
}
key_hold 1 1.5
t="$(settled_title)"
[ "$t" = "R0 G1 B0 LEVEL=10" ] || fail "1 held 1.5 s: title '$t', not one toggle"
key_hold Left 1.5
t="$(settled_title)"
[[ "$t" =~ LEVEL=([0-9]+)$ ]] || fail "title '$t'"
[ "${BASH_REMATCH[1]}" -ge 13 ] || fail "Left held 1.5 s raised LEVEL to ${BASH_REMATCH[1]} only: no repeat"
level="${BASH_REMATCH[1]}"
focus
xdotool key --delay 15 Right Right Right Right Right
t="$(settled_title)"
[ "$t" = "R0 G1 B0 LEVEL=$((level - 5))" ] || fail "five quick taps of Right from $level: title '$t'"

# Pause: the title says so; keys wait for a step or the resume.
focus; xdotool key space
wait_for_title "R0 G1 B0 LEVEL=$((level - 5)) (paused)" || fail "Space: title '$(title)'"
focus; xdotool key 2
sleep 0.3
[ "$(title)" = "R0 G1 B0 LEVEL=$((level - 5)) (paused)" ] || fail "2 acted while paused: '$(title)'"
focus; xdotool key Return
wait_for_title "R0 G0 B0 LEVEL=$((level - 5))" || fail "Enter after 2: title '$(title)'"

# S held: exactly one snapshot.
key_hold s 1.2
wait_until 5 test -s snapshot0.png || fail "no snapshot0.png after S"
sleep 0.5
[ "$(ls snapshot*.png | wc -l)" -eq 1 ] || fail "S held wrote $(ls snapshot*.png | tr '\n' ' ')"
rm -f snapshot*.png

# ---- failed loads change nothing: picture, size the user set, title, path
xdotool windowsize "$id" 400 300
wait_for_size "$id" 400x300 >/dev/null || fail "the window was not resized to 400x300"
t="$(title)"
long="$work/$(printf 'l%.0s' $(seq 1 $((266 - ${#work} - 1))))"
cases=(
  "notes.txt|not a PNG, JPEG or WebP picture"
  "cut.png|truncated"
  "big.jpg|30000 x 30000 is too large to hold (more than 536 megapixels)"
  "side.jpg|65535 x 65535 is larger than 65500 x 65500"
  "past.png|70000 x 1 is larger than 65535 x 65535"
  "missing.png|no such file"
  "folder.png|no PNG, JPEG or WebP pictures"
  "$long|the path of 266 characters is longer than 255"
)
for row in "${cases[@]}"; do
  file="${row%%|*}"; reason="${row#*|}"
  path="$file"; [ "${file:0:1}" = / ] || path="$work/$file"
  lines="$(wc -l < stderr.txt)"
  "$drop" --timeout 20 "$id" "$path" || fail "the drop of $file was not finished"
  wait_until 5 more_lines_than stderr.txt "$lines" || fail "no message after dropping $file"
  line="$(tail -n 1 stderr.txt)"
  [ "$line" = "glowview: $path: $reason" ] || fail "dropping $file said '$line', not '$reason'"
  sleep 0.2
  [ "$(client_size "$id")" = 400x300 ] || fail "dropping $file resized the window to $(client_size "$id")"
  [ "$(title)" = "$t" ] || fail "dropping $file changed the title to '$(title)'"
done

# Several files at once: those, in the order given; one that cannot be read is passed over.
"$drop" --timeout 20 "$id" "$work/small.png" "$work/wide.png" "$work/notes.txt" || fail "three-file drop not finished"
size="$(wait_for_size "$id" 120x90)" || fail "three-file drop: client area $size, not 120x90"
wait_for_full_title "$t - small.png (1/3)" || fail "three-file drop: title '$(full_title)'"
lines="$(wc -l < stderr.txt)"
focus; xdotool key Next
wait_for_full_title "$t - wide.png (2/3)" || fail "three-file drop, Page Down: title '$(full_title)'"
focus; xdotool key Next
wait_until 5 more_lines_than stderr.txt "$lines" || fail "three-file drop: no line for notes.txt"
[ "$(tail -n 1 stderr.txt)" = "glowview: $work/notes.txt: not a PNG, JPEG or WebP picture" ] ||
  fail "three-file drop, Page Down onto notes.txt: $(tail -n 1 stderr.txt)"
sleep 0.2
[ "$(full_title)" = "$t - wide.png (2/3)" ] || fail "passing over notes.txt: title '$(full_title)'"

# ---- F5: a file that changed size sizes the window to it; a deleted file keeps the picture
cp wide.png shown.png
"$drop" --timeout 20 "$id" "$work/shown.png" || fail "the drop of shown.png was not finished"
wait_for_size "$id" 301x199 >/dev/null || fail "shown.png: no 301x199 client area"
cp small.png shown.png
focus; xdotool key F5
size="$(wait_for_size "$id" 120x90)" || fail "F5 on a file now 120x90: client area $size"
rm shown.png
lines="$(wc -l < stderr.txt)"
focus; xdotool key F5
wait_until 5 more_lines_than stderr.txt "$lines" || fail "no message after F5 on a deleted file"
[ "$(tail -n 1 stderr.txt)" = "glowview: shown.png: no such file" ] ||
  [ "$(tail -n 1 stderr.txt)" = "glowview: $work/shown.png: no such file" ] || fail "F5 on a deleted file: $(tail -n 1 stderr.txt)"
[ "$(client_size "$id")" = 120x90 ] || fail "F5 on a deleted file resized the window to $(client_size "$id")"
focus; xdotool key s
wait_until 5 test -s snapshot0.png || fail "no snapshot after F5 on a deleted file"
sleep 0.3
! "$check" grey snapshot0.png >/dev/null || fail "after F5 on a deleted file only the clear colour is shown"

quit
# Without -v standard output holds only the lines of the snapshots saved.
grep -v '^glowview: saved snapshot[0-9]*\.png ' stdout.txt | grep -q . &&
  fail "standard output without -v: $(head -n 3 stdout.txt)"

# ---- -v keeps the full log
start -v small.png
wait_for_size "$id" 120x90 >/dev/null || fail "glowview -v small.png: no 120x90 client area"
quit
for head in 'GL_VENDOR: ' 'GL_EXTENSIONS: ' 'Create texture for wall: '; do
  grep -q "]: $head" stdout.txt || fail "-v: no '$head' line on standard output"
done

# ---- a folder paged through (the same check runs on the fixed-function path as folder-cpu)
check_folder_keys glsl
# Page Down held moves at the key-repeat pace and stops with the key: nothing is left queued.
mkdir many
for n in $(seq 1 40); do cp pics/img1.png "many/p$n.png"; done
start many
wait_for_full_title "R1 G1 B0 LEVEL=10 - p1.png (1/40)" || fail "many: title '$(full_title)'"
key_hold Next 1.5
wait_until 5 eval '[ "$(full_title)" = "$(sleep 0.3; full_title)" ]' || fail "Page Down released: the pictures go on changing"
t="$(full_title)"
[[ "$t" =~ \(([0-9]+)/40\)$ ]] && [ "${BASH_REMATCH[1]}" -gt 3 ] || fail "Page Down held 1.5 s: title '$t'"
sleep 0.5
[ "$(full_title)" = "$t" ] || fail "Page Down released: '$t', then '$(full_title)'"
quit

# ---- quiet when idle: a 12 MP picture shown, nothing changing
"$check" make huge.png 4000 3000 4 || fail "cannot make huge.png"
start huge.png
wait_for_size "$id" 4000x3000 >/dev/null ||
  echo "note: the 12 MP window is $(client_size "$id") (the screen may limit it)"
ticks() { awk '{print $14 + $15}' "/proc/$pid/stat"; }
# The load and its first frames take seconds of processor time on a loaded
# machine: wait until half a second passes without any.
quiet=""
for _ in $(seq 1 120); do
  t0="$(ticks)"; sleep 0.5
  [ "$(ticks)" = "$t0" ] && { quiet=1; break; }
done
[ -n "$quiet" ] || { t0="$(ticks)"; sleep 1; fail "glowview never went quiet after loading huge.png: $(( $(ticks) - t0 )) ticks in 1 s, title '$(title)'"; }
hz="$(getconf CLK_TCK)"
# Other tests' windows on the same display may cover this one for a moment, and each
# exposure is a frame to draw: a program that never rests fails all three tries.
for try in 1 2 3; do
  t0="$(ticks)"; sleep 5; t1="$(ticks)"
  percent=$(( (t1 - t0) * 100 * 100 / (hz * 5) ))  # hundredths of a percent
  echo "idle CPU with a 12 MP picture: $((percent / 100)).$(printf '%02d' $((percent % 100))) % over 5 s"
  [ "$percent" -lt 200 ] && break
  [ "$try" -lt 3 ] || fail "idle CPU is $((percent / 100)) % (2 % at most) in three tries"
done
# Taps that come while slow 12 MP frames are drawn are all served, one step each. The
# picture is larger than the screen: it opened fitted, and the title ends with its zoom.
zoom="$(title | grep -o ' [0-9.]*%$')"
[ -n "$zoom" ] || echo "note: the 12 MP picture is shown at one texel per pixel (title '$(title)')"
focus
xdotool key --delay 10 Right Right Right Right Right Right Right
wait_until 20 title_is "R1 G1 B0 LEVEL=3$zoom" && sleep 0.5 && title_is "R1 G1 B0 LEVEL=3$zoom" ||
  fail "seven quick taps of Right during slow frames: title '$(title)'"
quit

# ---- quit keys and stop signals end the program with status 0
for how in Escape q ctrl+q Q SIGTERM SIGINT; do
  start small.png
  wait_for_size "$id" 120x90 >/dev/null || fail "$how: no 120x90 client area"
  case "$how" in
    SIG*) kill "-${how#SIG}" "$pid"; wait_for_exit "$pid" 100 ;;
    *)
      focus; xdotool key "$how"
      wait_for_exit "$pid" 50 ;;
  esac
  [ -n "$status" ] || fail "$how did not end glowview"
  [ "$status" -eq 0 ] || fail "$how: exit status $status"
  [ ! -s stderr.txt ] || fail "$how: standard error: $(cat stderr.txt)"
  pid=""
done

# ---- the display goes away: one line on standard error, status 1
display=""
for n in $(seq 150 199); do
  [ ! -e "/tmp/.X${n}-lock" ] && [ ! -e "/tmp/.X11-unix/X${n}" ] && { display=":$n"; break; }
done
[ -n "$display" ] || fail "no free display number"
# -noreset: otherwise the server resets when the search below is its last client
# to leave, and glowview connecting at that moment is refused.
Xvfb "$display" -screen 0 800x600x24 -noreset -nolisten tcp >xvfb.log 2>&1 &
xvfb=$!
wait_until 10 test -e "/tmp/.X11-unix/X${display#:}" || { kill "$xvfb"; fail "private Xvfb did not start"; }
# The display's fall is part of the test: nothing of it may stay behind.
trap 'stop_program; kill "$xvfb" 2>/dev/null; rm -rf "$work"' EXIT

# ---- + and - are the keys that type them on the layout in use. On a German keyboard + has
# its own key (where a US one has ]), - sits where a US one has /, and the US = place types a
# dead acute, which does nothing. The private display's layout changes, no other test's.
shared_display="$DISPLAY"
export DISPLAY="$display"
setxkbmap de || fail "setxkbmap de failed on the private display"
start small.png
wait_for_title "R1 G1 B0 LEVEL=10" || fail "German layout: start title '$(title)'"
for step in "plus|R1 G1 B0 LEVEL=10 150%" "minus|R1 G1 B0 LEVEL=10" "KP_Subtract|R1 G1 B0 LEVEL=10 67%" \
            "KP_Add|R1 G1 B0 LEVEL=10" "dead_acute|R1 G1 B0 LEVEL=10" "plus|R1 G1 B0 LEVEL=10 150%"; do
  key="${step%%|*}"; want="${step#*|}"
  press "$key"
  sleep 0.2  # a second action of the press, or a key that should do nothing, shows by then
  wait_for_title "$want" 2 || fail "German layout, $key: title '$(title)', not '$want'"
done
quit
export DISPLAY="$shared_display"
DISPLAY="$display" "${run_env[@]}" "$glowview" small.png >stdout.txt 2>stderr.txt &
pid=$!
wait_until 10 eval 'DISPLAY="$display" xdotool search --pid "$pid" --classname "^glowView\$" >/dev/null 2>&1' ||
  { kill "$xvfb"; fail "no window on the private display"; }
kill -TERM "$xvfb"; wait "$xvfb" 2>/dev/null
wait_for_exit "$pid" 100
[ "$status" = 1 ] || fail "after the display went away: status '$status', not 1"
pid=""
[ "$(wc -l < stderr.txt)" -eq 1 ] && grep -q '^glowview: lost the connection to the display$' stderr.txt ||
  fail "after the display went away: $(cat stderr.txt)"

echo "PASS"
