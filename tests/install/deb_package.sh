#!/usr/bin/env bash
# The Debian package. make: CPack makes it from the build into OUT_DIR, with its dependencies,
# triggers and documents, and lintian finds no error in it. run: the program unpacked from it
# starts on the test's display and shows a picture (apart, so that only this part holds the
# display's focus).
# Usage: deb_package.sh make BUILD_DIR OUT_DIR VERSION
#        deb_package.sh run OUT_DIR VERSION PICTURE.png
set -uo pipefail

mode="$1"
source "$(dirname "$0")/../e2e/lib.sh"

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
cd "$work"

make_package() {  # build dir, out dir, version
  local build="$1" out="$2" version="$3" tool file
  for tool in cpack lintian dpkg-deb dpkg-shlibdeps; do
    command -v "$tool" >/dev/null || fail "$tool is not installed (scripts/install-deps.sh)"
  done
  rm -rf "$out"
  cpack --config "$build/CPackConfig.cmake" -G DEB -B "$out" >cpack.log 2>&1 ||
    fail "cpack: $(cat cpack.log)"
  local deb="$out/glowview_${version}_amd64.deb"
  [ -f "$deb" ] || fail "no $(basename "$deb"): $(ls "$out")"

  local depends
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

  # lintian run as root says so on standard error; its findings are on standard output.
  lintian "$deb" >lintian.out 2>lintian.err
  grep -q '^E: ' lintian.out && fail "lintian reports errors: $(cat lintian.out)"
  if grep -q . lintian.out; then
    echo "lintian says:"
    cat lintian.out
  fi
  return 0
}

run_unpacked() {  # out dir, version, picture
  local deb="$1/glowview_${2}_amd64.deb" version="$2" picture="$3"
  need_display_and_tools dpkg-deb xdotool xwininfo import convert identify
  [ -f "$deb" ] || fail "no $deb: the test install_deb_package makes it"
  dpkg-deb -x "$deb" root || fail "dpkg-deb -x failed"
  local program="$work/root/usr/bin/glowview"
  "$program" --version | grep -qxF "glowview $version" || fail "the unpacked program is not version $version"

  "$program" "$picture" >stdout.txt 2>stderr.txt &
  pid=$!
  find_window "$pid" || fail "the unpacked program shows no window"
  local width height size
  width="$(identify -format %w "$picture")"
  height="$(identify -format %h "$picture")"
  size="$(wait_for_size "$id" "${width}x${height}")" ||
    fail "its window is $size, not the picture's ${width}x${height}"
  # The picture with its glow has hundreds of colours; the empty grey frame one.
  many_colours() { [ "$(convert "$1" -format %k info:)" -gt 100 ]; }
  wait_for_window_picture "$id" shot.png many_colours shot.png >/dev/null ||
    fail "the window shows no picture ($(convert shot.png -format %k info: 2>&1) colours)"
  kill "$pid"
  wait_for_exit "$pid" 50
  [ "$status" = 0 ] || fail "the unpacked program ended with status '$status' after SIGTERM"
  pid=""
}

case "$mode" in
  make) make_package "$2" "$3" "$4" ;;
  run) run_unpacked "$2" "$3" "$4" ;;
  *) fail "usage: $0 make BUILD_DIR OUT_DIR VERSION | run OUT_DIR VERSION PICTURE.png" ;;
esac
echo "PASS"
