#!/usr/bin/env bash
# The Windows archive holds one folder named after it with the program, the README, the
# licence and the notices of every library linked into the program.
# Usage: windows_zip.sh ARCHIVE.zip
set -uo pipefail

zip="$1"
fail() { echo "FAIL: $*" >&2; exit 1; }
[ -f "$zip" ] || fail "no $zip"
folder="$(basename "$zip" .zip)"
[[ "$folder" =~ ^glowview-[0-9]+\.[0-9]+\.[0-9]+-windows-x64$ ]] || fail "the archive is named $folder.zip"

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
cd "$work"
cmake -E tar xf "$zip" || fail "cannot unpack $zip"
listing="$(find . -type f | sort)"
expected="$(printf "./$folder/%s\n" LICENSE README.md THIRD-PARTY-NOTICES.txt glowview.exe | sort)"
[ "$listing" = "$expected" ] || fail "the archive holds: $listing"
for library in GLFW GLEW libpng libjpeg-turbo libwebp zlib MinGW-w64 "GCC runtime"; do
  grep -q "^$library" "$folder/THIRD-PARTY-NOTICES.txt" || fail "no notice of $library"
done
cmp -s "$folder/glowview.exe" "$(dirname "$zip")/src/glowview.exe" || fail "the archive's glowview.exe is not the one built"
echo "PASS"
