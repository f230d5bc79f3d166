#!/usr/bin/env bash
# Checks that Windows programs import only DLLs that every Windows has, so that
# they run with nothing else installed (no libstdc++, libgcc, winpthread, zlib).
# Usage: windows_imports.sh PROGRAM.exe...
set -uo pipefail

system_dlls=" kernel32.dll user32.dll gdi32.dll shell32.dll opengl32.dll msvcrt.dll advapi32.dll ole32.dll "
objdump=x86_64-w64-mingw32-objdump
status=0
for program in "$@"; do
  dlls="$("$objdump" -p "$program" | awk '/DLL Name:/ {print tolower($3)}')"
  [ -n "$dlls" ] || { echo "FAIL: $program imports nothing (not a Windows program?)"; status=1; continue; }
  for dll in $dlls; do
    case "$system_dlls" in
      *" $dll "*) ;;
      *) echo "FAIL: $(basename "$program") needs $dll, which Windows does not have"; status=1 ;;
    esac
  done
  echo "$(basename "$program"): $(echo $dlls)"
done
[ "$status" -eq 0 ] && echo "PASS"
exit "$status"
