#!/usr/bin/env bash
# The whole program from a fresh program directory under a virtual X server: it opens its
# 320 × 64 borderless window named タルネク and ends cleanly when the window is closed; started
# with a bell file whose path has blanks, it loads that file and names it in the window title,
# with or without a locale in the environment.
# Usage: smoke_test.sh TARNEK X11CLOSE
set -euo pipefail
tarnek=$1
x11close=$2
here=$(dirname "$tarnek")

source "$(dirname "$0")/xvfb.sh"

# A checksum of what the screen shows in the file-information label of window $1 (at 64, 32,
# 249 × 28 in the window), read from the virtual screen's frame buffer (an XWD image).
info_pixels() {
  local fb="$work/fb/Xvfb_screen0" x y
  sleep 0.5 # let the window paint
  read -r x y < <(xwininfo -id "$1" | awk '/Absolute upper-left X/ {x=$4} /Absolute upper-left Y/ {y=$4} END {print x, y}')
  local header ncolors bpl
  header=$(od -An -t u4 --endian=big -j 0 -N 4 "$fb" | tr -d ' ')
  ncolors=$(od -An -t u4 --endian=big -j 76 -N 4 "$fb" | tr -d ' ')
  bpl=$(od -An -t u4 --endian=big -j 48 -N 4 "$fb" | tr -d ' ')
  local base=$((header + ncolors * 12)) row
  for row in $(seq $((y + 32)) $((y + 59))); do
    dd if="$fb" iflag=skip_bytes,count_bytes skip=$((base + row * bpl + (x + 64) * 4)) count=$((249 * 4)) status=none
  done | md5sum | cut -d' ' -f1
}

mkdir "$work/program"
cp "$tarnek" "$work/program/tarnek"
cp "$here/TARNEK.HLP" "$here/door.wav" "$here/b.wav" "$work/program/"
mkdir "$work/my bells"
cp "$here/samples/electric-bell.wav" "$work/my bells/発車 ベル.wav"

mkdir "$work/fb"
start_xvfb -fbdir "$work/fb"
export SDL_AUDIODRIVER=dummy

(cd "$work" && exec "$work/program/tarnek") 2> "$work/stderr" &
app_pid=$!

wid=$(timeout 20 xdotool search --sync --onlyvisible --pid "$app_pid" 2>/dev/null | head -n1) || true
[[ -n "$wid" ]] || fail "no window appeared"

name=$(xprop -id "$wid" _NET_WM_NAME)
[[ "$name" == *'"タルネク"'* ]] || fail "window name is $name"
geometry=$(xwininfo -id "$wid")
width=$(awk '/Width:/ {print $2}' <<<"$geometry")
height=$(awk '/Height:/ {print $2}' <<<"$geometry")
[[ "$width" == 320 && "$height" == 64 ]] || fail "window is ${width}x${height}"
# Borderless: the Motif hints (flags, functions, decorations, ...) ask for no decorations.
hints=$(xprop -id "$wid" _MOTIF_WM_HINTS)
decorations=$(sed -E 's/.*= *//' <<<"$hints" | awk -F', *' '{print $3}')
[[ "$decorations" == "0x0" ]] || fail "window asks for decorations: $hints"

empty_info=$(info_pixels "$wid")
close_program "$wid"
echo "smoke: window $wid ${width}x${height} \"タルネク\", closed cleanly"

# Again, with a bell file on the command line.
(cd "$work" && exec "$work/program/tarnek" "$work/my bells/発車 ベル.wav") 2> "$work/stderr" &
app_pid=$!
wid=$(timeout 20 xdotool search --sync --onlyvisible --pid "$app_pid" 2>/dev/null | head -n1) || true
[[ -n "$wid" ]] || fail "no window appeared with a file on the command line"
name=$(xprop -id "$wid" _NET_WM_NAME)
[[ "$name" == *'"発車 ベル.wav - タルネク"'* ]] || fail "window name with a bell is $name"
[[ -f "$work/program/~tarnek.wav" ]] || fail "no working copy beside the program"
grep -q 'my%20bells' "$work/data/recently-used.xbel" || fail "the bell is not among the recent documents"
bell_info=$(info_pixels "$wid")
[[ "$bell_info" != "$empty_info" ]] || fail "the window shows no file information"
close_program "$wid"
echo "smoke: \"発車 ベル.wav\" from the command line named in the title, its information drawn (label pixels $empty_info -> $bell_info), closed cleanly"

# A file name that is not UTF-8 (Shift-JIS bytes from an old disc) opens all the same.
odd="$work/my bells/"$'\x94\xad\x8e\xd4'".wav"
cp "$here/samples/electric-bell.wav" "$odd"
rm -f "$work/program/~tarnek.wav"
(cd "$work" && exec "$work/program/tarnek" "$odd") 2> "$work/stderr" &
app_pid=$!
wid=$(timeout 20 xdotool search --sync --onlyvisible --pid "$app_pid" 2>/dev/null | head -n1) || true
[[ -n "$wid" ]] || fail "no window appeared with a file name that is not UTF-8"
cmp -s "$odd" "$work/program/~tarnek.wav" || fail "the file whose name is not UTF-8 was not copied"
name=$(xprop -id "$wid" _NET_WM_NAME)
[[ "$name" == *'"'$'\xef\xbf\xbd'* ]] || fail "window name with a name that is not UTF-8 is $name"
close_program "$wid"
echo "smoke: a file name that is not UTF-8 opened, shown as $name"

# Without any locale in the environment the title reaches X whole, in the old name too.
(cd "$work" && exec env -u LANG -u LC_ALL -u LC_CTYPE "$work/program/tarnek" "$work/my bells/発車 ベル.wav") 2> "$work/stderr" &
app_pid=$!
wid=$(timeout 20 xdotool search --sync --onlyvisible --pid "$app_pid" 2>/dev/null | head -n1) || true
[[ -n "$wid" ]] || fail "no window appeared without a locale"
for property in _NET_WM_NAME WM_NAME; do
  name=$(xprop -id "$wid" "$property")
  [[ "$name" == *'"発車 ベル.wav - タルネク"' ]] || fail "without a locale, $property is $name"
done
close_program "$wid"
echo "smoke: without a locale, $name"
