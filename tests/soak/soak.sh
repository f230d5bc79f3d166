#!/usr/bin/env bash
# Soak of the real program: hundreds of drops alternating valid pictures of many
# sizes with hostile files, interleaved with F5, key storms and resizes. Checks
# that the process lives, the title follows the keys, the last picture is shown
# exactly (snapshot against the formula), resident memory stays flat, and no
# file descriptor or texture leaks.
# Usage: soak.sh GLOWVIEW XDND_DROP GLOW_CHECK glsl|cpu [DROPS]
# SOAK_SUMMARY: file that gets one summary line appended. KEEP=1 keeps the work folder.
set -uo pipefail

glowview="$1"
drop="$2"
check="$3"
mode="$4"
drops="${5:-${SOAK_DROPS:-300}}"
here="$(cd "$(dirname "$0")" && pwd)"
source "$here/../e2e/lib.sh"
testdata="$here/../../../shared/testdata"

need_display_and_tools xdotool xwininfo convert cc python3
case "$mode" in
  glsl) unset MESA_GL_VERSION_OVERRIDE ;;
  cpu) export MESA_GL_VERSION_OVERRIDE=1.5 ;;
  *) fail "mode must be glsl or cpu" ;;
esac

work="$(mktemp -d)"
trap '[ -n "${KEEP:-}" ] || rm -rf "$work"' EXIT
cd "$work" || exit 1
mkdir valid hostile

# ---- the pictures
cc -shared -fPIC -o gl_count.so "$here/gl_count.c" -ldl || fail "cannot build gl_count.so"
"$check" make ref.png 301 199 7 || fail "cannot make ref.png"
n=0
for size in 1x1 2x3 17x5 64x64 333x77 640x480 1023x769 2000x1500; do
  n=$((n + 1))
  "$check" make "valid/made-$size.png" "${size%x*}" "${size#*x}" "$n" || fail "cannot make $size"
done
convert valid/made-2000x1500.png -quality 85 valid/made-2000x1500.jpg
convert valid/made-333x77.png -quality 60 -interlace JPEG valid/made-333x77-progressive.jpg
convert valid/made-640x480.png -colorspace Gray valid/made-640x480-grey.jpg
for f in "$testdata"/pngsuite/[!x]*.png; do cp "$f" valid/; done
for f in testimgp.jpg testorig.jpg testimggray.jpg testimgari.jpg truncated_jpeg.jpg video-001.restart2.jpeg; do
  cp "$testdata/jpeg/$f" valid/
done
cp valid/made-64x64.png "valid/name with spaces.png"
cp valid/made-17x5.png "valid/$(printf 'n\xc3\xa4me-\xe2\x98\x85.png')"
deep="valid"
while [ ${#deep} -lt 280 ]; do deep="$deep/long-directory-name-$((${#deep} % 7))"; done
mkdir -p "$deep" && cp valid/made-2x3.png "$deep/picture-at-the-end-of-a-long-path.png"

# Hostile: the corrupt suite files, cut and flipped files, a folder, an empty file, a FIFO.
for f in "$testdata"/pngsuite/x*.png "$testdata"/jpeg/*.jp*g; do cp "$f" hostile/; done
python3 - "$work/valid" "$work/hostile" <<'EOF'
import os, random, sys
valid, hostile = sys.argv[1], sys.argv[2]
rng = random.Random(10)
names = sorted(n for n in os.listdir(valid) if os.path.isfile(os.path.join(valid, n)))
for i, name in enumerate(names):
    data = open(os.path.join(valid, name), 'rb').read()
    if len(data) < 16:
        continue
    cut = data[:rng.randrange(1, len(data))]
    open(os.path.join(hostile, 'cut-%d-%s' % (i, name)), 'wb').write(cut)
    flipped = bytearray(data)
    for _ in range(rng.randrange(1, 8)):
        flipped[rng.randrange(8, len(data))] ^= 1 << rng.randrange(8)
    open(os.path.join(hostile, 'flip-%d-%s' % (i, name)), 'wb').write(bytes(flipped))
EOF
mkdir hostile/a-folder.png
: > hostile/empty.png
mkfifo hostile/fifo.png
# The largest pictures come first, so that the memory taken in the first
# hundred drops already holds whatever the driver and allocator keep.
mapfile -t valid_files < <(find "$work/valid" -type f -name 'made-2000*'; find "$work/valid" -type f ! -name 'made-2000*' | sort)
mapfile -t hostile_files < <(find "$work/hostile" -mindepth 1 -maxdepth 1 | sort)
hostile_files+=("$work/does-not-exist.png")

# ---- the program, with the texture count written by the preloaded counter
export GL_COUNT_FILE="$work/textures.txt"
# A fixed mmap threshold: pictures freed go back to the system at once, so
# the resident size follows what is alive instead of the allocator's heap
# growth (glibc otherwise raises the threshold after the first large free).
env LD_PRELOAD="$work/gl_count.so" MALLOC_MMAP_THRESHOLD_=131072 "$glowview" >stdout.txt 2>stderr.txt &
pid=$!
find_window "$pid" || fail "no glowview window"
wait_for_size "$id" 640x480 >/dev/null || fail "no 640x480 client area"

rss_kb() { awk '/^VmRSS:/ {print $2}' "/proc/$pid/status"; }
fds() { ls "/proc/$pid/fd" | wc -l; }
textures() { cat "$GL_COUNT_FILE" 2>/dev/null || echo 0; }
alive() {
  kill -0 "$pid" 2>/dev/null && return 0
  echo "last actions:" >&2; tail -n 6 actions.txt >&2
  grep -v "Create texture" stdout.txt | tail -n 3 >&2
  fail "glowview ended (drop $dropped, keys $keys)"
}

dropped=0
keys=0
drop_one() {  # file; a refused or unreadable file is fine, a drop that never ends is not
  last_file="$1"
  echo "drop $1" >>actions.txt
  "$drop" --timeout 60 "$id" "$1" >/dev/null 2>&1
  [ $? -le 1 ] || fail "the drop tool could not drop $1"
  dropped=$((dropped + 1))
  alive
}

# Makes sure the frame loop runs (Enter leaves a pause), then checks that a key
# changes the title as it should.
# Keys are read once per frame, and a frame on the processor path with a big
# picture is slow: the keys are held until they are seen.
check_keys_follow() {
  focus
  xdotool keydown Return; sleep 0.5; xdotool keyup Return; keys=$((keys + 1))
  local before after want
  before="$(title)"
  [[ "$before" =~ ^R([01])\ G([01])\ B([01])\ LEVEL=([0-9]+) ]] || fail "title is '$before'"
  want="R$((1 - BASH_REMATCH[1]))"
  for _ in 1 2 3; do
    focus
    xdotool keydown 1; keys=$((keys + 1))
    for _ in $(seq 1 150); do
      [ "$(title)" != "$before" ] && break
      sleep 0.02
    done
    xdotool keyup 1
    [ "$(title)" != "$before" ] && break
  done
  after="$(title)"
  [[ "$after" == "$want "* ]] || fail "key 1 turned '$before' into '$after'"
}

storm() {
  local k
  echo "storm" >>actions.txt
  focus
  for k in 1 2 3 Left Right Left 2 space Return 3 Right s Left space space Return 1; do
    xdotool key --delay 15 "$k"; keys=$((keys + 1))
  done
  check_keys_follow
}

# Drops the reference picture and reports memory, descriptors and textures once it is shown.
measure() {  # label
  drop_one "$work/ref.png"
  wait_for_size "$id" 301x199 >/dev/null || fail "ref.png not shown at 301x199"
  sleep 0.5
  eval "rss_$1=\$(rss_kb) fds_$1=\$(fds) textures_$1=\$(textures)"
}

# Memory is compared between the 100th drop (half way in shorter runs) and the end.
mark=$(( drops < 200 ? drops / 2 : 100 ))
start=$(date +%s)
rss_start=$(rss_kb)
i=0
while [ "$dropped" -lt "$drops" ]; do
  i=$((i + 1))
  drop_one "${valid_files[$((i % ${#valid_files[@]}))]}"
  drop_one "${hostile_files[$((i % ${#hostile_files[@]}))]}"
  case $((i % 10)) in
    3) echo F5 >>actions.txt; press F5; keys=$((keys + 1)) ;;
    5) storm ;;
    7) echo "resize $((200 + (i * 37) % 500))x$((150 + (i * 53) % 400))" >>actions.txt
       xdotool windowsize "$id" $((200 + (i * 37) % 500)) $((150 + (i * 53) % 400)) ;;
  esac
  if [ -z "${rss_100:-}" ] && [ "$dropped" -ge "$mark" ]; then measure 100; fi
done
measure end

# The last picture is still shown exactly: set the glow, take a snapshot, check it.
set_glow 0 1 1 4
keys=$((keys + 20))
[ "$mode" = cpu ] && sleep 4
# Only finished snapshots count: a name in progress (a temporary name) is none of these.
snapshots() { ls -t 2>/dev/null | grep -E '^snapshot[0-9]+\.png$'; }
before_count=$(snapshots | wc -l)
shot=""
for _ in 1 2 3; do
  press s; keys=$((keys + 1))
  for _ in $(seq 1 100); do
    if [ "$(snapshots | wc -l)" -gt "$before_count" ]; then
      shot="$(snapshots | head -n 1)"
      break 2
    fi
    sleep 0.05
  done
done
[ -n "$shot" ] || fail "no snapshot after S"
sleep 0.5  # a snapshot written in place rather than renamed needs its last bytes
"$check" compare ref.png "$shot" 0 1 1 4 "$mode" 301 199 || fail "$shot does not show ref.png with R0 G1 B1 LEVEL=4"
alive
elapsed=$(( $(date +%s) - start ))

growth=$(( (rss_end - rss_100) * 1000 / rss_100 ))
echo "soak $mode: $dropped drops, $keys keys in ${elapsed}s; RSS start ${rss_start} kB, at drop $mark ${rss_100} kB, end ${rss_end} kB (growth $((growth / 10)).$((growth % 10))%); fds $fds_100 -> $fds_end; textures $textures_100 -> $textures_end"
line="soak $(printf '%-4s' "$mode") drops $dropped, keys $keys, ${elapsed}s, RSS start ${rss_start} kB / drop $mark ${rss_100} kB / end ${rss_end} kB, fds $fds_100 -> $fds_end, textures $textures_100 -> $textures_end, crashes 0"
[ "$growth" -lt 50 ] || fail "resident memory grew by more than 5 % between drop $mark and the end"
[ "$fds_end" -le "$fds_100" ] || fail "file descriptors leak: $fds_100 -> $fds_end"
[ "$textures_end" -le "$textures_100" ] || fail "textures leak: $textures_100 -> $textures_end"

kill -TERM "$pid" 2>/dev/null
wait_for_exit "$pid" 100
[ -n "$status" ] || { kill -KILL "$pid"; fail "glowview did not end after SIGTERM"; }
pid=""
grep -q 'glGetError' stdout.txt && fail "GL error: $(grep glGetError stdout.txt | head -n 1)"
[ -n "${SOAK_SUMMARY:-}" ] && echo "$line" >>"$SOAK_SUMMARY"
echo "PASS"
