#!/usr/bin/env bash
# The two dialogs of the whole program under a virtual X server, opened from the shortcut menu
# with the keyboard: their captions, sizes and taskbar hint; a click on the web link reaches the
# desktop's opener (a stand-in xdg-open that records its arguments); OK in the options dialog
# writes the settings file; the menu opens on a right press even with the left button held.
# Usage: dialogs_test.sh TARNEK X11CLOSE
set -euo pipefail
tarnek=$1
x11close=$2
here=$(dirname "$tarnek")

source "$(dirname "$0")/xvfb.sh"

mkdir "$work/program" "$work/bin"
cp "$tarnek" "$work/program/tarnek"
cp "$here/TARNEK.HLP" "$here/door.wav" "$here/b.wav" "$work/program/"
cat > "$work/bin/xdg-open" <<SCRIPT
#!/bin/sh
echo "\$@" >> "$work/opened"
SCRIPT
chmod +x "$work/bin/xdg-open"

start_xvfb
export SDL_AUDIODRIVER=dummy PATH="$work/bin:$PATH"
unset BROWSER DEFAULT_BROWSER

(cd "$work" && exec "$work/program/tarnek") 2> "$work/stderr" &
app_pid=$!
wid=$(timeout 20 xdotool search --sync --onlyvisible --pid "$app_pid" 2>/dev/null | head -n1) || true
[[ -n "$wid" ]] || fail "no window appeared"

# Opens the shortcut menu over the window background and types $@ into it; prints the window
# named $name once it shows.
open_dialog() {
  local name=$1 found=
  shift
  xdotool mousemove --window "$wid" 300 56 click 3
  sleep 0.5
  xdotool key "$@"
  found=$(timeout 10 xdotool search --sync --onlyvisible --name "^$name\$" 2>/dev/null | head -n1) || true
  [[ -n "$found" ]] || fail "no window named $name"
  sleep 0.3
  echo "$found"
}
check_dialog() { # window, caption, width, height
  local title geometry width height
  title=$(xprop -id "$1" _NET_WM_NAME)
  [[ "$title" == *"= \"$2\"" ]] || fail "caption is $title"
  geometry=$(xwininfo -id "$1")
  width=$(awk '/Width:/ {print $2}' <<<"$geometry")
  height=$(awk '/Height:/ {print $2}' <<<"$geometry")
  [[ "$width" == "$3" && "$height" == "$4" ]] || fail "$2 is ${width}x${height}"
  local state
  state=$(xprop -id "$1" _NET_WM_STATE)
  [[ "$state" == *_NET_WM_STATE_SKIP_TASKBAR* ]] || fail "$2 would be in the taskbar: $state"
  [[ "$state" == *_NET_WM_STATE_MODAL* ]] || fail "$2 is not modal: $state"
}
gone() {
  for _ in $(seq 50); do xwininfo -id "$1" 2>/dev/null | grep -q IsViewable || return 0; sleep 0.1; done
  return 1
}

# The version dialog: the last item, chosen by its access key.
about=$(open_dialog "タルネク のバージョン情報" a)
check_dialog "$about" "タルネク のバージョン情報" 382 237
xdotool mousemove --window "$about" 60 182 click 1
for _ in $(seq 50); do [[ -s "$work/opened" ]] && break; sleep 0.1; done
[[ "$(cat "$work/opened" 2>/dev/null)" == "https://example.org/tarnek/" ]] || fail "the link opened: $(cat "$work/opened" 2>/dev/null)"
xdotool mousemove --window "$about" 60 198 click 1
for _ in $(seq 50); do [[ $(wc -l < "$work/opened") -ge 2 ]] && break; sleep 0.1; done
[[ "$(sed -n 2p "$work/opened")" == "mailto:info@example.org" ]] || fail "the e-mail link opened: $(cat "$work/opened")"
xdotool windowfocus --sync "$about" 2>/dev/null || true
xdotool key Return
gone "$about" || fail "Enter did not close the version dialog"
echo "dialogs: version dialog 382x237 modal, off the taskbar, both links handed to xdg-open, closed by Enter"

# The options dialog: three items up from the bottom; the noise box by its access key, then OK.
options=$(open_dialog "オプション" Up Up Up Return)
check_dialog "$options" "オプション" 281 265
xdotool windowfocus --sync "$options" 2>/dev/null || true
xdotool key alt+n
sleep 0.2
xdotool key Return
gone "$options" || fail "Enter did not close the options dialog"
grep -q '^Noise=Yes' "$work/program/tarnek.ini" || fail "OK did not store the noise: $(cat "$work/program/tarnek.ini")"
echo "dialogs: options dialog 281x265 modal, off the taskbar, the noise checked by its access key and stored by OK"

# The right button opens the menu even while the left one is held down on the plate.
xdotool mousemove --window "$wid" 300 56 mousedown 1 mousedown 3 sleep 0.5 key a mouseup 3 mouseup 1
about=$(timeout 10 xdotool search --sync --onlyvisible --name "^タルネク のバージョン情報\$" 2>/dev/null | head -n1) || true
[[ -n "$about" ]] || fail "no menu for a right press with the left button held"
xdotool windowfocus --sync "$about" 2>/dev/null || true
xdotool key Return
gone "$about" || fail "Enter did not close the version dialog"
echo "dialogs: the menu opened by a right press with the left button held"

close_program "$wid"
