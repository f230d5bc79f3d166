# Shell functions that drive a running glowview from outside through xdotool;
# sourced by the end-to-end tests and scripts/demo.sh. Functions that give up
# call fail MESSAGE; the sourcing script may define its own fail after sourcing.

fail() {
  echo "FAIL: $*" >&2
  if [ -n "${pid:-}" ] && kill -0 "$pid" 2>/dev/null; then kill "$pid"; fi
  [ -s "${work:-}/stderr.txt" ] && { echo "--- glowview stderr:" >&2; cat "$work/stderr.txt" >&2; }
  exit 1
}

need_display_and_tools() {  # tool...
  [ -n "${DISPLAY:-}" ] || fail "no DISPLAY: run the tests through scripts/with-display.sh"
  local tool
  for tool in "$@"; do
    command -v "$tool" >/dev/null || fail "$tool is not installed (scripts/install-deps.sh)"
  done
}

# How find_window knows the program's window; set_run_env changes it for a Windows build.
window_search=(--classname '^glowView$')

# Sets run_env to the command prefix that runs the program $1.
# NOTE: in the sanitizer build, glfwTerminate makes Mesa unload its driver, and
# the driver's one-time allocations are then reported as leaks that no
# suppression can name. Keeping the driver loaded (preloaded after the
# sanitizer runtime) leaves them reachable.
set_run_env() {
  run_env=()
  # A Windows build runs under Wine, whose windows take the program's file name
  # as their class; the program's hidden helper windows share it.
  if [[ "$1" == *.exe ]]; then
    run_env=(bash "$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)/scripts/wine-run.sh")
    window_search=(--onlyvisible --classname "^$(basename "$1" | sed 's/\./\\./g')\$")
    return 0
  fi
  local asan_runtime driver
  asan_runtime="$(ldd "$1" 2>/dev/null | awk '/libasan/ {print $3; exit}')"
  if [ -n "$asan_runtime" ]; then
    driver="$(ls /usr/lib/*/dri/swrast_dri.so /usr/lib/dri/swrast_dri.so 2>/dev/null | head -n 1)"
    [ -n "$driver" ] && run_env=(env "LD_PRELOAD=$asan_runtime $driver")
  fi
  return 0
}

# Sets id to the glowView window of process $1; waits up to 10 s.
# Status 1: the process ended first; 2: no such window appeared.
find_window() {
  id=""
  for _ in $(seq 1 100); do
    id="$(xdotool search --all --pid "$1" "${window_search[@]}" 2>/dev/null | head -n 1 || true)"
    [ -n "$id" ] && return 0
    kill -0 "$1" 2>/dev/null || return 1
    sleep 0.1
  done
  return 2
}

# Sets status to the exit status of process $1 once it ends; waits up to $2 tenths
# of a second and leaves status empty if it still runs.
wait_for_exit() {
  status=""
  for _ in $(seq 1 "$2"); do
    if ! kill -0 "$1" 2>/dev/null; then
      wait "$1" && status=0 || status=$?
      return 0
    fi
    sleep 0.1
  done
  return 0
}

client_size() {  # window; prints "WIDTHxHEIGHT" of its client area
  xwininfo -id "$1" | awk '/^  Width:/ {w=$2} /^  Height:/ {h=$2} END {print w "x" h}'
}

wait_for_size() {  # window, expected size; waits up to 5 s, else prints the size it has
  local size=""
  for _ in $(seq 1 50); do
    size="$(client_size "$1")"
    [ "$size" = "$2" ] && return 0
    sleep 0.1
  done
  echo "$size"
  return 1
}

# The functions below act on the window $id.
full_title() { xdotool getwindowname "$id"; }
# The title without the picture's name and place (" - beach.jpg (3/17)"): the glow, the
# zoom when it is not 100 %, and "(paused)".
title() { full_title | sed -E 's| - .* \([0-9]+/[0-9]+\)||'; }

# Keys act only while the window has the focus: focus it before each press. Tests that
# show windows hold the CTest lock display_focus, so no other test's window takes the
# focus meanwhile: every press must act exactly once, and a check fails on the first
# press that acted twice or not at all. Down and up go in one xdotool run, so the hold
# is what is asked for (100 ms, 30 ms for the repeating Left and Right, shorter than the
# key-repeat delay), without the start of a second xdotool process in between.
focused() { [ "$(xdotool getwindowfocus 2>/dev/null)" = "$id" ]; }
take_focus() { timeout 2 xdotool windowfocus --sync "$id" >/dev/null 2>&1; }
# A window shown a moment ago may not be mapped yet (the program draws its first frame
# before it shows the window): the focus is taken once it can be, within 5 s; a press after
# a failed focus then fails its own check.
focus() { wait_until 5 take_focus || true; }
press() { focus; xdotool keydown "$1" sleep 0.1 keyup "$1"; }
tap() { focus; xdotool keydown "$1" sleep 0.03 keyup "$1"; }

wait_for_title_change() {  # previous title; up to 2 s
  for _ in $(seq 1 100); do
    [ "$(title)" != "$1" ] && return 0
    sleep 0.02
  done
  return 1
}

# Sets the glow R G B LEVEL through the keys and returns once the title shows it (a zoom
# the title ends with, " 37%", is no part of the glow). Each press must change the title by
# exactly its own step: one that acted twice, or not at all, fails the check.
# With program_log set (the file the program's standard output goes to), it records
# in key_log_before the number of log lines before the last key it pressed, and in
# key_log_after the number when the title first showed that key's effect.
set_glow() {  # R G B LEVEL
  local want="R$1 G$2 B$3 LEVEL=$4" shown t r g b level key="" expect=""
  for _ in $(seq 1 200); do
    shown="$(title)"
    t="${shown% [0-9]*%}"  # the zoom, if the title shows one
    # The title a press made, read again before the next: a second action of the press
    # shows here, or in the caller's check of the title after its next step.
    [ -z "$expect" ] || [ "$t" = "$expect" ] ||
      fail "a press of $key made the title '$t', not '$expect'"
    [ "$t" = "$want" ] && return 0
    [[ "$t" =~ ^R([01])\ G([01])\ B([01])\ LEVEL=([0-9]+)$ ]] || fail "title is '$t'"
    r="${BASH_REMATCH[1]}"; g="${BASH_REMATCH[2]}"; b="${BASH_REMATCH[3]}"; level="${BASH_REMATCH[4]}"
    [ -n "${program_log:-}" ] && key_log_before="$(line_count "$program_log")"
    if [ "$r" != "$1" ]; then key=1; r=$((1 - r))
    elif [ "$g" != "$2" ]; then key=2; g=$((1 - g))
    elif [ "$b" != "$3" ]; then key=3; b=$((1 - b))
    elif [ "$level" -lt "$4" ]; then key=Left; level=$((level + 1))   # Left raises LEVEL
    else key=Right; level=$((level - 1))
    fi
    case "$key" in Left|Right) tap "$key" ;; *) press "$key" ;; esac
    expect="R$r G$g B$b LEVEL=$level"
    wait_for_title_change "$shown" || fail "a press of $key did not act (title '$shown')"
    [ -n "${program_log:-}" ] && key_log_after="$(line_count "$program_log")"
  done
  fail "could not set the glow to '$want' (title '$(title)')"
}

# ---- waiting for what the program shows: each wait has a deadline in seconds and
# ---- returns 1 when it passes, so that the caller fails with its own message.

# Runs command... every 50 ms until it succeeds; 1 when seconds have passed first.
wait_until() {  # seconds, command...
  local deadline=$((SECONDS + $1))
  shift
  until "$@"; do
    [ "$SECONDS" -lt "$deadline" ] || return 1
    sleep 0.05
  done
}

line_count() {  # file; its number of lines (0 when it does not exist)
  if [ -e "$1" ]; then wc -l < "$1"; else echo 0; fi
}

# Lines of file after its first `skip` lines that match the extended regular expression.
count_matches_after() {  # file, skip, pattern
  tail -n +"$(($2 + 1))" "$1" 2>/dev/null | grep -cE -- "$3" || true
}

has_matches_after() {  # file, skip, pattern, count
  [ "$(count_matches_after "$1" "$2" "$3")" -ge "$4" ]
}

# Waits until the file holds a line that matches the pattern, after its first skip lines.
wait_for_line() {  # file, pattern, seconds[, skip]
  wait_until "$3" has_matches_after "$1" "${4:-0}" "$2" 1
}

# Waits until count lines after the first skip lines of the file match the pattern.
wait_for_lines() {  # file, skip, pattern, count, seconds
  wait_until "$5" has_matches_after "$1" "$2" "$3" "$4"
}

title_is() { [ "$(title)" = "$1" ]; }
full_title_is() { [ "$(full_title)" = "$1" ]; }
wait_for_title() {  # exact title[, seconds (default 5)]; acts on the window $id
  wait_until "${2:-5}" title_is "$1"
}
wait_for_full_title() {  # exact title with the picture's name and place[, seconds (default 5)]
  wait_until "${2:-5}" full_title_is "$1"
}

# A complete file: a PNG once its closing IEND chunk is written, anything else once not empty.
file_complete() {  # name
  [ -s "$1" ] || return 1
  case "$1" in
    *.png) [ "$(tail -c 12 "$1" | head -c 8 | tail -c 4)" = IEND ] ;;
    *) return 0 ;;
  esac
}

wait_for_file() {  # name[, seconds (default 6)]
  wait_until "${2:-6}" file_complete "$1"
}

# The file has more than $2 lines.
more_lines_than() { [ "$(line_count "$1")" -gt "$2" ]; }

# Prints the Nth line of a file that matches an extended regular expression, waiting
# until it is there; gives up after the given tenths of a second (status 1).
wait_for_output_line() {  # file, n, pattern, tenths
  local line
  for _ in $(seq 1 "$4"); do
    line="$(grep -E -- "$3" "$1" 2>/dev/null | sed -n "$2p")"
    [ -n "$line" ] && { echo "$line"; return 0; }
    sleep 0.1
  done
  return 1
}

# Takes screenshots of the window (raised above other tests' windows) into the file
# until the check command accepts one; up to 5 s. Prints the last check's output.
wait_for_window_picture() {  # window, screenshot file, check command...
  local window="$1" shot="$2" output=""
  shift 2
  for _ in $(seq 1 25); do
    xdotool windowraise "$window" 2>/dev/null
    if import -window "$window" "$shot" 2>/dev/null; then
      output="$("$@" 2>&1)" && { echo "$output"; return 0; }
    fi
    sleep 0.2
  done
  echo "$output"
  return 1
}
