#!/usr/bin/env bash
# Takes the README's picture of the panel: the program from BUILD, with the sample bell loaded,
# on a virtual X server, cut out of the server's frame buffer.
# Usage: tools/screenshot.sh [BUILD] [OUT.png]   (defaults: build, docs/panel.png)
set -euo pipefail
build=${1:-build}
out=${2:-docs/panel.png}
cmake --build "$build" --target tarnek XwdToPng > /dev/null

work=$(mktemp -d)
xvfb_pid=
app_pid=
trap '[[ -n "$app_pid" ]] && kill "$app_pid" 2>/dev/null; [[ -n "$xvfb_pid" ]] && kill "$xvfb_pid" 2>/dev/null; rm -rf "$work"' EXIT
mkdir "$work/fb" "$work/runtime" && chmod 700 "$work/runtime"
exec 3> "$work/display"
Xvfb -displayfd 3 -screen 0 640x240x24 -fbdir "$work/fb" -nolisten tcp > /dev/null 2>&1 &
xvfb_pid=$!
for _ in $(seq 100); do [[ -s "$work/display" ]] && break; sleep 0.1; done
export DISPLAY=":$(head -n1 "$work/display")" QT_QPA_PLATFORM=xcb XDG_RUNTIME_DIR="$work/runtime"
export SDL_AUDIODRIVER=dummy XDG_DATA_HOME="$work/data" LANG=C.UTF-8

# A program directory of its own, so that the build's settings stay as they are.
mkdir "$work/program"
cp "$build/tarnek" "$build/TARNEK.HLP" "$build/door.wav" "$build/b.wav" "$work/program/"
"$work/program/tarnek" "$build/samples/electric-bell.wav" 2> /dev/null &
app_pid=$!
wid=$(timeout 20 xdotool search --sync --onlyvisible --pid "$app_pid" | head -n1)
sleep 1 # let it paint
read -r x y < <(xwininfo -id "$wid" | awk '/Absolute upper-left X/ {x=$4} /Absolute upper-left Y/ {y=$4} END {print x, y}')
mkdir -p "$(dirname "$out")"
"$build/tools/XwdToPng" "$work/fb/Xvfb_screen0" "$out" "$x" "$y" 320 64
echo "$out"
