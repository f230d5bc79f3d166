#!/usr/bin/env bash
# Runs a Windows program under Wine, quietly, in the project's own Wine prefix
# (created on first use). The cross build's test runner; also usable by hand:
#   scripts/wine-run.sh build-windows/src/glowview.exe
#   scripts/wine-run.sh stdbuf -oL build-windows/src/glowview.exe -v
#   scripts/wine-run.sh --serve   (keeps the prefix's Wine server running until --stop)
#   scripts/wine-run.sh --stop    (ends the Wine server of the prefix)
set -euo pipefail

wine="${GLOWVIEW_WINE:-}"
if [ -z "$wine" ]; then
  for candidate in wine64 /usr/lib/wine/wine64 wine; do
    if command -v "$candidate" >/dev/null 2>&1; then wine="$candidate"; break; fi
  done
fi
if [ -z "$wine" ]; then
  echo "wine-run: no wine64 found (scripts/install-deps.sh windows installs it)" >&2
  exit 127
fi

export WINEPREFIX="${WINEPREFIX:-${XDG_CACHE_HOME:-$HOME/.cache}/glowview/wine-prefix}"
export WINEDEBUG="${WINEDEBUG:--all}"
# No Mono or Gecko installers: the programs need neither, and their dialogs
# would wait for a click that never comes.
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml=}"
export WINEARCH=win64

wineserver="$(dirname "$(command -v "$wine")")/wineserver64"
[ -x "$wineserver" ] || wineserver=wineserver

# --stop ends the prefix's Wine server and what it keeps running, once the tests are done.
if [ "${1:-}" = --stop ]; then
  [ -d "$WINEPREFIX" ] && "$wineserver" -k 2>/dev/null
  exit 0
fi

# --serve keeps the server up between programs. Left to itself it ends a few seconds after
# its last program, and a program started just then meets a server on its way out: it ends
# at once, without a word. Test runs start many programs, one after another.
if [ "${1:-}" = --serve ]; then
  [ -f "$WINEPREFIX/.glowview-ready" ] || { echo "wine-run: make the prefix first" >&2; exit 1; }
  # A server still running (with its own delay) is ended first; -p does not change it.
  "$wineserver" -k 2>/dev/null || true
  "$wineserver" -w 2>/dev/null || true
  "$wineserver" -p </dev/null >/dev/null 2>&1
  # The services the first program starts stay with the server: started here, they hold no
  # caller's output open (a test runner reads a program's output until its end).
  "$wine" cmd /c exit </dev/null >/dev/null 2>&1
  exit 0
fi

# The prefix is made once, under a lock, since CTest starts several programs at a time.
if [ ! -f "$WINEPREFIX/.glowview-ready" ]; then
  mkdir -p "$(dirname "$WINEPREFIX")"
  exec 9>"$WINEPREFIX.lock"
  flock 9
  if [ ! -f "$WINEPREFIX/.glowview-ready" ]; then
    "$wine" wineboot --init >/dev/null 2>&1 || true
    "$wineserver" -w 2>/dev/null || true
    [ -f "$WINEPREFIX/system.reg" ] || { echo "wine-run: could not create $WINEPREFIX" >&2; exit 1; }
    touch "$WINEPREFIX/.glowview-ready"
  fi
  exec 9>&-
fi

# A Unix command in front of the program (stdbuf, env) runs first and starts
# Wine in turn: Wine goes just before the first .exe of the line.
if [[ "${1,,}" != *.exe ]] && command -v "$1" >/dev/null 2>&1; then
  line=()
  placed=""
  for arg in "$@"; do
    if [ -z "$placed" ] && [[ "${arg,,}" == *.exe ]]; then
      line+=("$wine")
      placed=1
    fi
    line+=("$arg")
  done
  [ -n "$placed" ] && exec "${line[@]}"
fi
exec "$wine" "$@"
