#!/usr/bin/env bash
# Runs a command on a fresh virtual display (Xvfb) and stops the display after it.
# Usage: scripts/with-display.sh COMMAND [ARGS...]
# The screen is 1280 x 1024 unless GLOWVIEW_SCREEN says otherwise (WIDTHxHEIGHT).
set -euo pipefail

display=""
for n in $(seq 90 140); do
  if [ ! -e "/tmp/.X${n}-lock" ] && [ ! -e "/tmp/.X11-unix/X${n}" ]; then
    display=":$n"
    break
  fi
done
if [ -z "$display" ]; then
  echo "with-display: no free display number" >&2
  exit 1
fi

# -noreset: without it the server resets whenever its last client leaves, and a
# program connecting at that moment fails at random.
Xvfb "$display" -screen 0 "${GLOWVIEW_SCREEN:-1280x1024}x24" -noreset -nolisten tcp >/tmp/xvfb-${display#:}.log 2>&1 &
xvfb_pid=$!
trap 'kill "$xvfb_pid" 2>/dev/null || true; wait "$xvfb_pid" 2>/dev/null || true' EXIT

for _ in $(seq 1 100); do
  if [ -e "/tmp/.X11-unix/X${display#:}" ]; then break; fi
  if ! kill -0 "$xvfb_pid" 2>/dev/null; then
    echo "with-display: Xvfb failed to start:" >&2
    cat "/tmp/xvfb-${display#:}.log" >&2
    exit 1
  fi
  sleep 0.1
done

export DISPLAY="$display"
"$@"
