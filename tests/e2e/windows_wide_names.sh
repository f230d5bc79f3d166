#!/usr/bin/env bash
# The Windows program under Wine with names that no ANSI code page spells: a picture named
# "日本 Grüße.png" in a folder "fötö 写真", given on the command line, is shown; its
# neighbours are listed in natural order and paged through; S saves its snapshot beside it
# (the folder is the current directory); a drop of such a name shows it; a missing file of
# such a name gets its line with the name intact; and --register from a folder of such a name
# writes the program's path exactly.
# Usage: windows_wide_names.sh GLOWVIEW.exe GLOW_CHECK XDND_DROP
set -uo pipefail

# The script works in the pictures' folder: the programs are named by absolute paths.
glowview="$(realpath "$1")"
check="$(realpath "$2")"
drop="$(realpath "$3")"
source "$(dirname "$0")/lib.sh"
root="$(cd "$(dirname "$0")/../.." && pwd)"

need_display_and_tools xdotool iconv
set_run_env "$glowview"
# Wine reads the command line and the current folder from the Unix side in the locale's
# character set, and takes its ANSI code page (1252 here) from the same locale: a UTF-8 locale
# hands the names over exactly, and the code page cannot spell them.
export LC_ALL=C.UTF-8

work="$(mktemp -d)"
cleanup() {
  stop_program
  "${run_env[@]}" "$work/程序 ü/glowview.exe" --unregister >/dev/null 2>&1
  rm -rf "$work"
}
stop_program() {
  if [ -n "${pid:-}" ] && kill -0 "$pid" 2>/dev/null; then
    kill -KILL "$pid" 2>/dev/null
    wait "$pid" 2>/dev/null
  fi
  pid=""
}
trap cleanup EXIT
winpath_of() { local p="Z:$1"; echo "${p//\//\\}"; }

folder="$work/fötö 写真"
mkdir "$folder" || fail "cannot make $folder"
"$check" make "$folder/Grüße 2.png" 31 17 21 && "$check" make "$folder/Grüße 10.png" 23 29 22 &&
  "$check" make "$folder/日本 Grüße.png" 19 13 23 || fail "cannot make the folder's pictures"
cd "$folder" || fail "cannot enter $folder"

start() {  # arguments
  "${run_env[@]}" "$glowview" "$@" >"$work/stdout.txt" 2>"$work/stderr.txt" &
  pid=$!
  find_window "$pid" || fail "glowview $*: no window appeared"
}

# ---- opened from the command line, listed with its neighbours, its snapshot saved beside it
start "$(winpath_of "$folder/日本 Grüße.png")"
shots=0
page() {  # key (none: the start), title tail, picture
  [ -z "$1" ] || { focus; xdotool key "$1"; }
  wait_for_full_title "R1 G1 B0 LEVEL=10 - $2" || fail "${1:-start}: title '$(full_title)', not '... - $2'"
  focus; xdotool key s
  wait_for_file "snapshot$shots.png" || fail "${1:-start} to $2: no snapshot$shots.png in $folder"
  "$check" compare "$3" "snapshot$shots.png" 1 1 0 10 glsl >/dev/null ||
    fail "${1:-start} to $2: snapshot$shots.png is not $3"
  shots=$((shots + 1))
}
page "" "日本 Grüße.png (3/3)" "日本 Grüße.png"
page Home "Grüße 2.png (1/3)" "Grüße 2.png"
page Next "Grüße 10.png (2/3)" "Grüße 10.png"
page Next "日本 Grüße.png (3/3)" "日本 Grüße.png"
# GLFW hands a drop over in UTF-8, as it is kept. The folder is listed again, with the four
# snapshots saved in it meanwhile.
"$drop" --timeout 60 "$id" "$folder/Grüße 10.png" || fail "the drop of Grüße 10.png was not finished"
page "" "Grüße 10.png (2/7)" "Grüße 10.png"
focus; xdotool key Escape
wait_for_exit "$pid" 50
[ "${status:-}" = 0 ] || fail "glowview did not end with status 0 after Escape (status '${status:-running}')"
pid=""
[ "$(grep -c '^glowview: saved snapshot[0-4]\.png ' "$work/stdout.txt")" = 5 ] ||
  fail "standard output: $(cat "$work/stdout.txt")"
[ -s "$work/stderr.txt" ] && fail "standard error: $(cat "$work/stderr.txt")"

# ---- a missing file: its name, as given, in the one line of standard error
missing="$(winpath_of "$folder/不在 ß.png")"
start "$missing"
wait_for_line "$work/stderr.txt" '.' 10 || fail "no line for a missing file"
[ "$(cat "$work/stderr.txt")" = "glowview: $missing: no such file" ] ||
  fail "a missing file: standard error '$(cat "$work/stderr.txt")'"
stop_program

# ---- --register from a folder no code page spells: the open command names it exactly
mkdir "$work/程序 ü" && cp "$glowview" "$work/程序 ü/glowview.exe" || fail "cannot copy the program"
program="$(winpath_of "$work/程序 ü/glowview.exe")"
"${run_env[@]}" "$work/程序 ü/glowview.exe" --register >"$work/register.out" 2>&1 ||
  fail "--register ended with status $?: $(cat "$work/register.out")"
grep -qF "opens \"$program\" \"%1\"" "$work/register.out" ||
  fail "--register said: $(cat "$work/register.out")"
key='HKCU\Software\Classes\Applications\glowview.exe\shell\open\command'
"${run_env[@]}" reg export "$key" "$(winpath_of "$work/command.reg")" /y >/dev/null 2>&1 ||
  fail "reg export of $key failed"
# reg export writes UTF-16 and doubles the backslashes of values.
iconv -f UTF-16 -t UTF-8 "$work/command.reg" | tr -d '\r' >"$work/command.txt"
expected="@=\"\\\"${program//\\/\\\\}\\\" \\\"%1\\\"\""
grep -qxF "$expected" "$work/command.txt" ||
  fail "the open command is $(grep '^@=' "$work/command.txt"), not $expected"
"${run_env[@]}" "$work/程序 ü/glowview.exe" --unregister >/dev/null 2>&1 || fail "--unregister failed"
echo "PASS"
