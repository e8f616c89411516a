#!/usr/bin/env bash
# The installed program: `cmake --install` into a scratch prefix lays down the program
# directory, the command, a valid menu entry, the icon and the software-centre description; the
# command, started through its symbolic link from elsewhere in a Wayland session with XWayland,
# opens its window on X11 and writes tarnek.ini into the installed program directory; the
# uninstaller then removes everything but that file and the user's own door announcement.
# Usage: install_test.sh BUILD X11CLOSE SOURCE
set -euo pipefail
build=$1
x11close=$2
source_dir=$3

source "$(dirname "$0")/xvfb.sh"

prefix="$work/prefix with blank"
cmake --install "$build" --prefix "$prefix" > "$work/install.log" || fail "install failed: $(cat "$work/install.log")"
program="$prefix/lib/tarnek"
for file in tarnek TARNEK.HLP door.wav b.wav samples/electric-bell.wav samples/departure.mid samples/departure.sgt; do
  [[ -f "$program/$file" ]] || fail "not installed: lib/tarnek/$file"
done
[[ -x "$program/tarnek" && -d "$program/Door" ]] || fail "program directory incomplete"
[[ -L "$prefix/bin/tarnek" && "$(realpath "$prefix/bin/tarnek")" == "$(realpath "$program/tarnek")" ]] ||
  fail "bin/tarnek is not a link to the program"
entry="$prefix/share/applications/tarnek.desktop"
desktop-file-validate "$entry" || fail "the menu entry does not validate"
grep -qx "Exec=$prefix/bin/tarnek %f" "$entry" || fail "menu entry runs: $(grep ^Exec "$entry")"
grep -qx 'Name=タルネク' "$entry" || fail "menu entry name: $(grep ^Name "$entry")"
grep -q '^MimeType=.*audio/x-wav.*audio/midi' "$entry" || fail "menu entry types: $(grep ^MimeType "$entry")"
[[ -f "$prefix/share/metainfo/org.example.tarnek.metainfo.xml" ]] || fail "no software-centre description"
for size in 32 64 128; do
  icon="$prefix/share/icons/hicolor/${size}x$size/apps/tarnek.png"
  [[ -f "$icon" && "$(file -b "$icon")" == *"$size x $size"* ]] || fail "no $size px icon in the hicolor theme"
done
echo "install: program directory, bin/tarnek link, valid menu entry, icon and metainfo under the prefix"

start_xvfb
export SDL_AUDIODRIVER=dummy
# A Wayland session whose compositor offers XWayland (here: the virtual X server).
unset QT_QPA_PLATFORM
export WAYLAND_DISPLAY=wayland-tarnek-test XDG_SESSION_TYPE=wayland
mkdir "$work/elsewhere"
(cd "$work/elsewhere" && exec "$prefix/bin/tarnek") 2> "$work/stderr" &
app_pid=$!
wid=$(timeout 20 xdotool search --sync --onlyvisible --pid "$app_pid" 2>/dev/null | head -n1) || true
[[ -n "$wid" ]] || fail "the installed command showed no window on X11"
close_program "$wid"
grep -qi wayland "$work/stderr" && fail "the program tried Wayland"
grep -q '^TopMost=' "$program/tarnek.ini" 2>/dev/null || fail "no tarnek.ini in the installed program directory"
[[ ! -e "$prefix/bin/tarnek.ini" && ! -e "$work/elsewhere/tarnek.ini" ]] || fail "tarnek.ini written elsewhere"
echo "install: the command through its link ran on X11 in a Wayland session and wrote lib/tarnek/tarnek.ini"

cp "$program/door.wav" "$program/Door/my announcement.wav"
bash "$source_dir/tools/uninstall.sh" "$build" "$prefix" > "$work/uninstall.log"
# The desktop's own cache of menu entries stays, rebuilt without ours.
cache="$prefix/share/applications/mimeinfo.cache"
[[ -f "$cache" ]] && grep -q tarnek "$cache" && fail "the menu cache still names the program"
left=$(cd "$prefix" && find . \( -type f -o -type l \) -not -name mimeinfo.cache | sort | tr '\n' ' ')
[[ "$left" == "./lib/tarnek/Door/my announcement.wav ./lib/tarnek/tarnek.ini " ]] || fail "left after uninstalling: $left"
echo "install: uninstalled, keeping only tarnek.ini and the user's door announcement"
