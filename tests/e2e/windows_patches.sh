#!/usr/bin/env bash
# Checks that the libraries of the Windows build got every patch of Debian's series:
# for each Debian archive, the patches recorded as applied in the prefix must be the
# series' entries (blank lines and # comments are not patches), in order.
# Usage: windows_patches.sh PREFIX THIRD_PARTY_DIR
set -uo pipefail
prefix="$1" third_party="$2"
applied="$prefix/patches-applied.txt"
[ -f "$applied" ] || { echo "FAIL: no $applied"; exit 1; }
status=0
for debian in "$third_party"/*.debian.tar.xz; do
  name="$(basename "$debian")"
  expected="$(tar -xOf "$debian" debian/patches/series | sed 's/#.*//' | awk 'NF {print $1}')"
  got="$(awk -v a="$name" '$1 == a {print $2}' "$applied")"
  if [ "$expected" != "$got" ]; then
    echo "FAIL: $name: series has $(echo "$expected" | grep -c .) patches, applied $(echo "$got" | grep -c .)"
    status=1
  else
    echo "$name: $(echo "$got" | grep -c .) patches applied"
  fi
done
exit $status
