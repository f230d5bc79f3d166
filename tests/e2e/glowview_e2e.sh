#!/usr/bin/env bash
# Runs the real glowview on the test's display and checks it from outside:
# window, title, clear colour, drops (also from a drag source that vanishes),
# pause keys, close, exit status and the driver lines on standard output.
# Usage: glowview_e2e.sh GLOWVIEW XDND_DROP WM_CLOSE
set -uo pipefail

glowview="$1"
drop="$2"
close="$3"
source "$(dirname "$0")/lib.sh"

need_display_and_tools xdotool xwininfo convert import
set_run_env "$glowview"

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
cd "$work"
printf 'not a picture\n' > notes.txt

hold_key() {  # window, key. The program polls keys once per frame: hold each about 100 ms.
  # Sent to the window itself, so that other programs on the display cannot take the focus.
  xdotool keydown --window "$1" "$2" sleep 0.1 keyup --window "$1" "$2"
}

# -v keeps the log lines checked below (a program without options ignores it);
# stdbuf makes each line reach the file as it is written.
"${run_env[@]}" stdbuf -oL "$glowview" -v >stdout.txt 2>stderr.txt &
pid=$!
find_window "$pid" || case $? in
  1) fail "glowview ended at start-up" ;;
  *) fail "no window of class glowView appeared" ;;
esac

size="$(wait_for_size "$id" 640x480)" || fail "client area is $size, not 640x480"
title="$(xdotool getwindowname "$id")"
[ "$title" = "R1 G1 B0 LEVEL=10" ] || fail "title is '$title'"

# The frame is cleared to grey 0.3 (byte 76 or 77). Screenshots come from the
# screen: other tests' windows may cover this one for a moment, so move it
# aside, raise it and look again a few times.
is_grey() {
  local values
  values="$(convert shot.png -format '%[fx:int(255*p{320,240}.r+0.5)] %[fx:int(255*p{0,0}.g+0.5)] %[fx:int(255*p{639,479}.b+0.5)]' info:)"
  for value in $values; do
    [ "$value" -ge 76 ] && [ "$value" -le 77 ] || { echo "$values"; return 1; }
  done
}
xdotool windowmove "$id" 640 540
grey=""
for _ in $(seq 1 20); do
  xdotool windowraise "$id"
  sleep 0.1
  import -window "$id" shot.png || fail "no screenshot"
  grey="$(is_grey)" && break
done
is_grey >/dev/null || fail "frame is not grey 0.3: $grey"

# Pause, single steps and resume must keep the program drawing and responsive.
hold_key "$id" space
hold_key "$id" space
hold_key "$id" Return
kill -0 "$pid" 2>/dev/null || fail "glowview ended after the pause keys"

# A drop of a file that is no picture changes nothing, the client area included.
"$drop" --timeout 10 "$id" "$work/notes.txt" || fail "the drop was not finished"
# The Windows program names the file as Wine gave it: drive Z: and backslashes.
shown="$work/notes.txt"
case "$glowview" in *.exe) shown="Z:${shown//\//\\}" ;; esac
wait_until 5 grep -qxF "glowview: $shown: not a PNG, JPEG or WebP picture" stderr.txt ||
  fail "no message after the drop: $(cat stderr.txt)"
size="$(client_size "$id")"
[ "$size" = 640x480 ] || fail "client area after the drop is $size, not 640x480"

# A drag source that quits before its drop is answered must not end the program: the
# answers to its window raise an X error, which is logged and ignored.
before="$(line_count stdout.txt)"
"$drop" --vanish "$id" "$work/notes.txt" || fail "vanishing drop could not be sent"
if [[ "$glowview" == *.exe ]]; then
  # Under Wine the X errors go to Wine's own X driver, never to the Win32
  # program: only that it goes on can be seen.
  sleep 1
else
  wait_for_line stdout.txt 'X11_ERROR_IGNORED' 10 "$before" ||
    fail "no X11_ERROR_IGNORED line after a drag source vanished"
fi
kill -0 "$pid" 2>/dev/null || fail "glowview ended after a drag source vanished"
"$drop" --timeout 10 "$id" "$work/notes.txt" "$work/other.txt" || fail "no drop after the vanished one"

# A path longer than the program's buffers is refused whole, never cut or overrun.
long_name="$(printf 'n%.0s' $(seq 1 300))"
long_path="$work/$long_name/picture.png"
"$drop" --timeout 10 "$id" "$long_path" || fail "the long-path drop was not finished"
shown="$long_path"
case "$glowview" in *.exe) shown="Z:${shown//\//\\}" ;; esac
wait_until 5 grep -qF "glowview: $shown: the path of ${#shown} characters is longer than 255" stderr.txt ||
  fail "no refusal of the long path with its length: $(tail -n 1 stderr.txt)"
kill -0 "$pid" 2>/dev/null || fail "glowview ended after a long-path drop"

# Closing the window ends the process with status 0.
"$close" "$id" || fail "cannot send the close request"
wait_for_exit "$pid" 50
[ -n "$status" ] || fail "glowview still runs after the close request"
[ "$status" -eq 0 ] || fail "exit status $status"
pid=""

for head in GLEW_VERSION GL_SHADING_LANGUAGE_VERSION GL_VENDOR GL_RENDERER GL_VERSION GL_EXTENSIONS; do
  grep -q "^\[[0-9]*\]: $head: " stdout.txt || fail "no '$head' line on standard output"
done
# Standard error holds only the messages about the dropped files.
grep -vF -e "glowview: $work/" -e "glowview: Z:${work//\//\\}\\" stderr.txt |
  grep -q . &&
  fail "unexpected standard error: $(cat stderr.txt)"

# Without a display: one line on standard error and status 1.
DISPLAY= "${run_env[@]}" "$glowview" >nodisplay.out 2>nodisplay.err
status=$?
[ "$status" -eq 1 ] || fail "without a display the status is $status, not 1"
[ "$(wc -l < nodisplay.err)" -eq 1 ] || fail "without a display: $(cat nodisplay.err)"
grep -q '^glowview: cannot open a window: ' nodisplay.err || fail "without a display: $(cat nodisplay.err)"

echo "PASS"
