#!/usr/bin/env bash
# Cross-builds the libraries that the Windows build of glowview links statically
# (GLFW, GLEW, libpng, libjpeg-turbo, libwebp and GoogleTest) into a prefix that
# is kept between builds, and prints that prefix on its last line.
#
# The sources are the archives in ../shared/third-party (checked against its
# SHA256SUMS first), each with every patch of Debian's series for that version
# applied (the security fixes among them; a patch that does not apply stops the
# build), and GoogleTest's source from Debian's libgtest-dev; zlib is Debian's
# libz-mingw-w64-dev. The prefix's patches-applied.txt lists what was applied.
# The prefix lives outside the work tree, in
# ${XDG_CACHE_HOME:-~/.cache}/glowview/, named after a key over the archives'
# checksums, the toolchain file, this script and the compiler, so that every
# clone on the machine shares one build and any change of input makes a new
# one. GLOWVIEW_WINDOWS_DEPS overrides the prefix.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
third_party="${GLOWVIEW_THIRD_PARTY_DIR:-$root/../shared/third-party}"
toolchain="$root/cmake/mingw-w64-x86_64.cmake"
gtest_source=/usr/src/googletest
jobs="${GLOWVIEW_JOBS:-$(nproc)}"

say() { echo "build-windows-deps: $*" >&2; }

[ -f "$third_party/SHA256SUMS" ] || { say "no $third_party/SHA256SUMS"; exit 1; }
(cd "$third_party" && sha256sum --quiet -c SHA256SUMS) >&2 ||
  { say "an archive in $third_party does not match SHA256SUMS"; exit 1; }
[ -f "$gtest_source/CMakeLists.txt" ] || { say "no GoogleTest source in $gtest_source"; exit 1; }

key="$( {
  cat "$third_party/SHA256SUMS" "$toolchain" "$0"
  x86_64-w64-mingw32-g++-posix --version | head -1
  dpkg-query -W -f='${Version}\n' googletest libz-mingw-w64-dev 2>/dev/null || true
} | sha256sum | cut -c1-16)"
prefix="${GLOWVIEW_WINDOWS_DEPS:-${XDG_CACHE_HOME:-$HOME/.cache}/glowview/mingw-deps-$key}"

if [ -f "$prefix/.complete" ]; then
  echo "$prefix"
  exit 0
fi

mkdir -p "$(dirname "$prefix")"
# One builder at a time; a second one waits and then finds the prefix made.
exec 9>"$prefix.lock"
flock 9
if [ -f "$prefix/.complete" ]; then
  echo "$prefix"
  exit 0
fi

work="$(mktemp -d "${TMPDIR:-/tmp}/glowview-mingw-deps.XXXXXX")"
trap 'rm -rf "$work"' EXIT
# Built into a staging prefix and moved into place at the end, so an
# interrupted build never leaves a prefix that looks finished.
stage="$prefix.partial"
rm -rf "$stage"

build() {  # name source-dir [cmake options...]
  local name="$1" source="$2"
  shift 2
  say "building $name"
  cmake -S "$source" -B "$work/build-$name" -G Ninja \
    -DCMAKE_TOOLCHAIN_FILE="$toolchain" -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_INSTALL_PREFIX="$stage" -DCMAKE_PREFIX_PATH="$stage" \
    -DBUILD_SHARED_LIBS=OFF -Wno-dev "$@" >"$work/$name.log" 2>&1 &&
  cmake --build "$work/build-$name" -j "$jobs" >>"$work/$name.log" 2>&1 &&
  cmake --install "$work/build-$name" >>"$work/$name.log" 2>&1 ||
    { tail -40 "$work/$name.log" >&2; say "$name failed"; exit 1; }
}

applied="$work/patches-applied.txt"
: >"$applied"

# Applies Debian's series for the source in order: blank lines and # comments are
# not patches; a line may carry patch options after the name.
apply_debian_patches() {  # debian-archive source-dir
  local debian="$third_party/$1" source="$2" count=0 line name options
  tar -xf "$debian" -C "$source"
  [ -f "$source/debian/patches/series" ] || { say "$1 has no debian/patches/series"; exit 1; }
  while IFS= read -r line || [ -n "$line" ]; do
    line="${line%%#*}"
    read -r name options <<<"$line" || true
    [ -n "$name" ] || continue
    # shellcheck disable=SC2086
    if ! patch -d "$source" -p1 --batch --forward --quiet ${options:-} \
        <"$source/debian/patches/$name" >"$work/patch.log" 2>&1; then
      cat "$work/patch.log" >&2
      say "Debian patch $name of $1 does not apply"
      exit 1
    fi
    echo "$1 $name" >>"$applied"
    count=$((count + 1))
  done <"$source/debian/patches/series"
  say "applied $count patches of $1"
}

unpack() {  # archive debian-archive; sets source to the unpacked, patched folder
  local archive="$third_party/$1"
  tar -xf "$archive" -C "$work"
  source="$work/$(tar -tf "$archive" | awk -F/ 'NR == 1 {print $1}')"  # reads to the end: no SIGPIPE
  apply_debian_patches "$2" "$source"
}

# Unpacked and patched first, outside a command substitution, so that a patch that
# does not apply ends the script here.
unpack libpng1.6_1.6.39.orig.tar.gz libpng1.6_1.6.39-2+deb12u5.debian.tar.xz
build libpng "$source" -DPNG_SHARED=OFF -DPNG_STATIC=ON -DPNG_TESTS=OFF -DPNG_EXECUTABLES=OFF
unpack libjpeg-turbo_2.1.5.orig.tar.gz libjpeg-turbo_2.1.5-2.debian.tar.xz
build libjpeg-turbo "$source" -DENABLE_SHARED=OFF -DENABLE_STATIC=ON -DWITH_TURBOJPEG=OFF -DWITH_SIMD=ON
unpack glfw3_3.3.8.orig.tar.gz glfw3_3.3.8-1.debian.tar.xz
build glfw "$source" -DGLFW_BUILD_EXAMPLES=OFF -DGLFW_BUILD_TESTS=OFF -DGLFW_BUILD_DOCS=OFF
unpack glew_2.2.0.orig.tar.xz glew_2.2.0-4.debian.tar.xz
build glew "$source/build/cmake" -DBUILD_UTILS=OFF
unpack libwebp_1.2.4.orig.tar.gz libwebp_1.2.4-0.2+deb12u1.debian.tar.xz
build libwebp "$source" \
  -DWEBP_BUILD_ANIM_UTILS=OFF -DWEBP_BUILD_CWEBP=OFF -DWEBP_BUILD_DWEBP=OFF \
  -DWEBP_BUILD_GIF2WEBP=OFF -DWEBP_BUILD_IMG2WEBP=OFF -DWEBP_BUILD_VWEBP=OFF \
  -DWEBP_BUILD_WEBPINFO=OFF -DWEBP_BUILD_WEBPMUX=OFF -DWEBP_BUILD_EXTRAS=OFF
cp -r "$gtest_source" "$work/googletest"
build googletest "$work/googletest" -DINSTALL_GTEST=ON -DBUILD_GMOCK=OFF -Dgtest_disable_pthreads=ON

cp "$applied" "$stage/patches-applied.txt"
touch "$stage/.complete"
rm -rf "$prefix"
mv "$stage" "$prefix"
say "libraries ready in $prefix"
echo "$prefix"
