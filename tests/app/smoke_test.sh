#!/usr/bin/env bash
# The whole program from a fresh program directory under a virtual X server: it opens its
# 320 × 64 borderless window named タルネク and ends cleanly when the window is closed; started
# with a bell file whose path has blanks, it loads that file and names it in the window title.
# Usage: smoke_test.sh TARNEK X11CLOSE
set -euo pipefail
tarnek=$1
x11close=$2
here=$(dirname "$tarnek")

work=$(mktemp -d)
xvfb_pid=
app_pid=
cleanup() {
  [[ -n "$app_pid" ]] && kill "$app_pid" 2>/dev/null || true
  [[ -n "$xvfb_pid" ]] && kill "$xvfb_pid" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT
fail() { echo "FAIL: $*"; [[ -f "$work/stderr" ]] && sed 's/^/  tarnek: /' "$work/stderr"; exit 1; }

mkdir "$work/program"
cp "$tarnek" "$work/program/tarnek"
cp "$here/TARNEK.HLP" "$here/door.wav" "$here/b.wav" "$work/program/"
mkdir "$work/my bells"
cp "$here/samples/electric-bell.wav" "$work/my bells/発車 ベル.wav"

exec 3> "$work/display"
Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp > "$work/xvfb.log" 2>&1 &
xvfb_pid=$!
for _ in $(seq 100); do [[ -s "$work/display" ]] && break; sleep 0.1; done
[[ -s "$work/display" ]] || fail "Xvfb did not start"
export DISPLAY=":$(head -n1 "$work/display")"
mkdir -m 700 "$work/runtime"
export LANG=C.UTF-8 SDL_AUDIODRIVER=dummy QT_QPA_PLATFORM=xcb XDG_RUNTIME_DIR="$work/runtime"
unset WAYLAND_DISPLAY

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

"$x11close" "$wid"
status=0
for _ in $(seq 100); do kill -0 "$app_pid" 2>/dev/null || break; sleep 0.1; done
kill -0 "$app_pid" 2>/dev/null && fail "program did not end after its window was closed"
wait "$app_pid" || status=$?
app_pid=
[[ $status -eq 0 ]] || fail "program ended with status $status"
if grep -E -q 'AddressSanitizer|runtime error' "$work/stderr"; then fail "sanitizer report"; fi
echo "smoke: window $wid ${width}x${height} \"タルネク\", closed cleanly"

# Again, with a bell file on the command line.
export XDG_DATA_HOME="$work/data" # the recently used list goes here, not into the user's
(cd "$work" && exec "$work/program/tarnek" "$work/my bells/発車 ベル.wav") 2> "$work/stderr" &
app_pid=$!
wid=$(timeout 20 xdotool search --sync --onlyvisible --pid "$app_pid" 2>/dev/null | head -n1) || true
[[ -n "$wid" ]] || fail "no window appeared with a file on the command line"
name=$(xprop -id "$wid" _NET_WM_NAME)
[[ "$name" == *'"発車 ベル.wav - タルネク"'* ]] || fail "window name with a bell is $name"
[[ -f "$work/program/~tarnek.wav" ]] || fail "no working copy beside the program"
grep -q 'my%20bells' "$work/data/recently-used.xbel" || fail "the bell is not among the recent documents"
"$x11close" "$wid"
for _ in $(seq 100); do kill -0 "$app_pid" 2>/dev/null || break; sleep 0.1; done
kill -0 "$app_pid" 2>/dev/null && fail "program did not end after its window was closed"
status=0
wait "$app_pid" || status=$?
app_pid=
[[ $status -eq 0 ]] || fail "program with a bell ended with status $status"
if grep -E -q 'AddressSanitizer|runtime error' "$work/stderr"; then fail "sanitizer report"; fi
echo "smoke: \"発車 ベル.wav\" from the command line named in the title, closed cleanly"
