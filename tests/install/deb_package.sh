#!/usr/bin/env bash
# Makes the Debian package from the build with CPack, checks it with lintian (no error) and
# runs the program unpacked from it on the test's display: it starts and shows a picture.
# Usage: deb_package.sh BUILD_DIR VERSION PICTURE.png
set -uo pipefail

build="$1"
version="$2"
picture="$3"
source "$(dirname "$0")/../e2e/lib.sh"

need_display_and_tools cpack lintian dpkg-deb dpkg-shlibdeps xdotool xwininfo import convert

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
cd "$work"

cpack --config "$build/CPackConfig.cmake" -G DEB -B "$work/out" >cpack.log 2>&1 ||
  fail "cpack: $(cat cpack.log)"
deb="$work/out/glowview_${version}_amd64.deb"
[ -f "$deb" ] || fail "no $(basename "$deb"): $(ls "$work/out")"

depends="$(dpkg-deb -f "$deb" Depends)"
grep -q 'libglfw3' <<<"$depends" || fail "the dependencies were not found from the binary: $depends"
dpkg-deb --ctrl-tarfile "$deb" | tar -xO ./triggers >triggers 2>/dev/null || fail "the package has no triggers"
grep -qxF 'activate-noawait /usr/share/icons/hicolor' triggers || fail "no icon cache trigger: $(cat triggers)"
grep -qxF 'activate-noawait /usr/share/applications' triggers || fail "no desktop database trigger: $(cat triggers)"
dpkg-deb -c "$deb" >contents.txt || fail "dpkg-deb -c failed"
for file in ./usr/share/doc/glowview/copyright ./usr/share/doc/glowview/changelog.gz \
            ./usr/share/man/man1/glowview.1.gz ./usr/share/applications/glowview.desktop; do
  grep -qF " $file" contents.txt || fail "the package has no $file"
done

# lintian refuses to be root only with a warning on standard error; its findings are on stdout.
lintian "$deb" >lintian.out 2>lintian.err
if grep -q '^E: ' lintian.out; then
  fail "lintian reports errors: $(cat lintian.out)"
fi
grep -q . lintian.out && { echo "lintian says:"; cat lintian.out; }

dpkg-deb -x "$deb" root || fail "dpkg-deb -x failed"
program="$work/root/usr/bin/glowview"
"$program" --version | grep -qxF "glowview $version" || fail "the unpacked program is not version $version"

"$program" "$picture" >stdout.txt 2>stderr.txt &
pid=$!
find_window "$pid" || fail "the unpacked program shows no window"
width="$(identify -format %w "$picture")"
height="$(identify -format %h "$picture")"
size="$(wait_for_size "$id" "${width}x${height}")" || fail "its window is $size, not the picture's ${width}x${height}"
# The picture with its glow has hundreds of colours; the empty grey frame one.
many_colours() { [ "$(convert "$1" -format %k info:)" -gt 100 ]; }
wait_for_window_picture "$id" shot.png many_colours shot.png >/dev/null ||
  fail "the window shows no picture ($(convert shot.png -format %k info: 2>&1) colours)"
kill "$pid"
wait_for_exit "$pid" 50
[ "$status" = 0 ] || fail "the unpacked program ended with status '$status' after SIGTERM"
pid=""
echo "PASS"
