#!/usr/bin/env bash
# Installs the build into a temporary prefix (and once more under DESTDIR) and checks what
# lands where; the desktop entry, the AppStream metadata and the manual page pass their
# validators, and each names the program's version where it has one.
# Usage: install_layout.sh BUILD_DIR
set -uo pipefail

build="$1"
fail() { echo "FAIL: $*" >&2; exit 1; }
for tool in desktop-file-validate update-desktop-database appstreamcli groff man file; do
  command -v "$tool" >/dev/null || fail "$tool is not installed (scripts/install-deps.sh)"
done

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

expected_files() {  # prefix
  echo "$1/bin/glowview"
  echo "$1/share/applications/glowview.desktop"
  local size
  for size in 16 22 24 32 48 64 128 256; do
    echo "$1/share/icons/hicolor/${size}x${size}/apps/glowview.png"
  done
  echo "$1/share/icons/hicolor/scalable/apps/glowview.svg"
  echo "$1/share/man/man1/glowview.1"
  echo "$1/share/metainfo/org.glowview.glowview.metainfo.xml"
  local doc
  for doc in README.md LICENSE copyright changelog; do
    echo "$1/share/doc/glowview/$doc"
  done
}

check_layout() {  # root where the files are, prefix they were installed for
  local missing extra
  missing="$(comm -23 <(expected_files "$1" | sort) <(find "$1" -type f | sort))"
  extra="$(comm -13 <(expected_files "$1" | sort) <(find "$1" -type f | sort))"
  [ -z "$missing" ] || fail "not installed under $2: $missing"
  [ -z "$extra" ] || fail "installed under $2 beyond the expected files: $extra"
}

cmake --install "$build" --prefix "$work/prefix" >"$work/install.log" 2>&1 ||
  fail "cmake --install --prefix: $(cat "$work/install.log")"
check_layout "$work/prefix" "--prefix"
DESTDIR="$work/stage" cmake --install "$build" --prefix /opt/glowview >"$work/install.log" 2>&1 ||
  fail "cmake --install with DESTDIR: $(cat "$work/install.log")"
check_layout "$work/stage/opt/glowview" "DESTDIR and /opt/glowview"

prefix="$work/prefix"
[ -x "$prefix/bin/glowview" ] || fail "bin/glowview is not executable"
version="$(DISPLAY= "$prefix/bin/glowview" --version)" || fail "the installed program's --version failed"
version="${version#glowview }"

desktop="$prefix/share/applications/glowview.desktop"
desktop-file-validate "$desktop" || fail "desktop-file-validate reports the above"
for line in 'Exec=glowview %F' 'Icon=glowview' 'Terminal=false' 'GenericName=Image Viewer' \
            'Categories=Graphics;2DGraphics;Viewer;' 'MimeType=image/png;image/jpeg;image/webp;'; do
  grep -qxF "$line" "$desktop" || fail "the desktop entry has no line '$line'"
done
grep -q '^Keywords=.' "$desktop" || fail "the desktop entry has no Keywords"
# What a file manager's "Open with" reads: the MIME cache built from the installed entries.
update-desktop-database "$prefix/share/applications" || fail "update-desktop-database failed"
for type in image/png image/jpeg image/webp; do
  grep -qE "^$type=(.*;)?glowview\.desktop;" "$prefix/share/applications/mimeinfo.cache" ||
    fail "the MIME cache does not offer glowview for $type"
done

metainfo="$prefix/share/metainfo/org.glowview.glowview.metainfo.xml"
appstreamcli validate --no-net "$metainfo" || fail "appstreamcli validate reports the above"
grep -qF "<release version=\"$version\"" "$metainfo" || fail "no AppStream release $version"

manual="$prefix/share/man/man1/glowview.1"
warnings="$(groff -ww -z -man "$manual" 2>&1)" || fail "groff failed: $warnings"
[ -z "$warnings" ] || fail "the manual page renders with warnings: $warnings"
grep -q "^\.TH GLOWVIEW 1 .*\"glowview $version\"" "$manual" || fail "the manual page is not of version $version"
for section in NAME SYNOPSIS DESCRIPTION OPTIONS KEYS MOUSE FILES "EXIT STATUS" ENVIRONMENT EXAMPLES; do
  grep -qxF ".SH $section" "$manual" || grep -qxF ".SH \"$section\"" "$manual" ||
    fail "the manual page has no section $section"
done
found="$(MANPATH="$prefix/share/man" man -w glowview 2>&1)"
[ "$found" = "$manual" ] || fail "man -w glowview finds '$found', not $manual"
grep -q MESA_GL_VERSION_OVERRIDE "$manual" || fail "the manual page does not name MESA_GL_VERSION_OVERRIDE"

for png in "$prefix"/share/icons/hicolor/*/apps/glowview.png; do
  size="$(basename "$(dirname "$(dirname "$png")")")"
  file -b "$png" | grep -q "^PNG image data, ${size/x/ x }," || fail "$png is not a $size PNG: $(file -b "$png")"
done
echo "PASS"
