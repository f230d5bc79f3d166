#!/usr/bin/env bash
# The Windows program under Wine: a GUI program (its PE header's subsystem) with its icon,
# whose --help and --version still reach a pipe on the Unix side; --register writes the
# per-user "Open with" keys (seen by reg query) with an open command naming the program's path
# and "%1"; --unregister leaves the user's classes exactly as they were.
# Usage: windows_open_with.sh GLOWVIEW.exe
set -uo pipefail

glowview="$1"
root="$(cd "$(dirname "$0")/../.." && pwd)"
wine_run=(bash "$root/scripts/wine-run.sh")
fail() { echo "FAIL: $*" >&2; exit 1; }
command -v od >/dev/null || fail "od is not installed"

work="$(mktemp -d)"
cleanup() {
  "${wine_run[@]}" "$glowview" --unregister >/dev/null 2>&1
  rm -rf "$work"
}
trap cleanup EXIT

# The subsystem: a 2-byte field 0x5C bytes after the "PE\0\0" signature, whose offset is the
# 4-byte field at 0x3C. 2 is a GUI program, 3 a console one.
le_number() {  # file, offset, bytes
  od -An -tu"$3" -j "$2" -N "$3" "$1" | tr -d ' '
}
pe="$(le_number "$glowview" 60 4)"
[ "$(od -An -c -j "$pe" -N 2 "$glowview" | tr -d ' ')" = PE ] || fail "no PE signature at $pe"
subsystem="$(le_number "$glowview" $((pe + 0x5C)) 2)"
[ "$subsystem" = 2 ] || fail "the subsystem is $subsystem, not 2 (GUI)"
# The icon Explorer shows is a resource of the program.
x86_64-w64-mingw32-objdump -h "$glowview" | grep -q ' \.rsrc ' || fail "the program has no resources (no icon)"

"${wine_run[@]}" "$glowview" --help >"$work/help.out" 2>"$work/help.err" || fail "--help ended with status $?"
grep -q '^Usage: glowview ' "$work/help.out" || fail "--help printed no usage: $(cat "$work/help.out" "$work/help.err")"
grep -q -- '--register' "$work/help.out" || fail "--help does not name --register"
version="$("${wine_run[@]}" "$glowview" --version 2>&1)" || fail "--version ended with status $?"
[[ "$version" =~ ^glowview\ [0-9]+\.[0-9]+\.[0-9]+ ]] || fail "--version printed '$version'"
"${wine_run[@]}" "$glowview" --bad-option >/dev/null 2>&1
status=$?
[ "$status" -eq 2 ] || fail "an unknown option ended with status $status, not 2"

classes='HKCU\Software\Classes'
application="$classes\\Applications\\glowview.exe"
export_classes() {  # file
  "${wine_run[@]}" reg export "$classes" "$(winepath_of "$1")" /y >/dev/null 2>&1 ||
    fail "reg export of $classes failed"
}
winepath_of() { local p="Z:$1"; echo "${p//\//\\}"; }
reg_query() { "${wine_run[@]}" reg query "$@" 2>/dev/null | tr -d '\r'; }

# A registration left by an earlier run would hide what this one adds. Windows always has the
# user's classes key; a fresh Wine prefix makes it on first use.
"${wine_run[@]}" "$glowview" --unregister >/dev/null 2>&1
"${wine_run[@]}" reg add "$classes" /f >/dev/null 2>&1 || fail "cannot make $classes"
export_classes "$work/before.reg"

"${wine_run[@]}" "$glowview" --register >"$work/register.out" 2>"$work/register.err" ||
  fail "--register ended with status $?: $(cat "$work/register.out" "$work/register.err")"
grep -q '^glowview: added to Open with for .png .jpg .jpeg .webp' "$work/register.out" ||
  fail "--register did not say what it did: $(cat "$work/register.out")"

command_line="$(reg_query "$application\\shell\\open\\command" /ve | grep -F REG_SZ)" ||
  fail "no open command under $application"
expected="\"$(winepath_of "$(cd "$(dirname "$glowview")" && pwd)/$(basename "$glowview")")\" \"%1\""
[[ "$command_line" == *"REG_SZ"*"$expected" ]] ||
  fail "the open command is '$command_line', not $expected"
types="$(reg_query "$application\\SupportedTypes")"
for type in .png .jpg .jpeg .webp; do
  grep -qE "^ +\\$type +REG_SZ" <<<"$types" || fail "$type is not among the supported types: $types"
  reg_query "$classes\\$type\\OpenWithList\\glowview.exe" >/dev/null ||
    fail "glowview.exe is not in the open-with list of $type"
done

"${wine_run[@]}" "$glowview" --unregister >"$work/unregister.out" 2>"$work/unregister.err" ||
  fail "--unregister ended with status $?: $(cat "$work/unregister.err")"
grep -q '^glowview: removed from Open with' "$work/unregister.out" ||
  fail "--unregister did not say what it did: $(cat "$work/unregister.out")"
reg_query "$application" >/dev/null && fail "$application is still there after --unregister"
export_classes "$work/after.reg"
diff "$work/before.reg" "$work/after.reg" >"$work/diff.txt" ||
  fail "--unregister left the user's classes changed: $(cat "$work/diff.txt")"

"${wine_run[@]}" "$glowview" --unregister >"$work/again.out" 2>&1 || fail "a second --unregister failed"
grep -q 'nothing to remove' "$work/again.out" || fail "a second --unregister said: $(cat "$work/again.out")"
echo "PASS"
