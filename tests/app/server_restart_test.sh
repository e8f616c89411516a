#!/usr/bin/env bash
# The whole program on a private PipeWire server, through each output (PipeWire directly, and
# SDL over pipewire-pulse): the bell is heard, the sound server is restarted while the program
# runs, and a press after the restart is heard again, with no message on screen.
# Usage: server_restart_test.sh TARNEK X11CLOSE LEVELS
set -euo pipefail
tarnek=$1
x11close=$2
levels=$3
here=$(dirname "$tarnek")

source "$(dirname "$0")/xvfb.sh"
source "$(dirname "$0")/pipewire.sh"

mkdir "$work/program"
cp "$tarnek" "$here/door.wav" "$here/b.wav" "$work/program/"
cp "$here/samples/electric-bell.wav" "$work/bell.wav"
printf '[TARNEK 1.10]\nDoor=No\n' > "$work/program/tarnek.ini"

start_xvfb
unset SDL_AUDIODRIVER
status=0
start_sound_server || status=$?
if [[ $status -eq 1 ]]; then
  echo "SKIP: PipeWire cannot start here"
  exit 77
fi
[[ $status -eq 0 ]] || fail "the private sound server started, but its session manager, pulse server or sink did not"

# Loudest 10 ms level in raw capture $1, in dB.
loudest() { "$levels" "$1" | awk 'BEGIN { m = -200 } $2 > m { m = $2 } END { print m }'; }

# Holds a key on window $1 for a second while the sink is recorded into $2.
ring() {
  record_sink "$2"
  sleep 0.5
  xdotool keydown --window "$1" space
  sleep 1
  xdotool keyup --window "$1" space
  sleep 0.3
  kill "$record_pid"; wait "$record_pid" 2>/dev/null || true
}

for backend in pipewire sdl; do
  (cd "$work" && TARNEK_AUDIO=$backend exec "$work/program/tarnek" "$work/bell.wav") 2> "$work/stderr" &
  app_pid=$!
  wid=$(timeout 20 xdotool search --sync --onlyvisible --pid "$app_pid" 2>/dev/null | head -n1) || true
  [[ -n "$wid" ]] || fail "$backend: no window appeared"
  sleep 0.5
  xdotool windowfocus --sync "$wid" 2>/dev/null || true

  ring "$wid" "$work/$backend-before.raw"
  before=$(loudest "$work/$backend-before.raw")
  awk -v l="$before" 'BEGIN { exit !(l > -30) }' || fail "$backend: the bell was not heard before the restart ($before dB)"

  stop_sound_server
  sleep 1 # the program runs on without a server
  kill -0 "$app_pid" 2>/dev/null || fail "$backend: the program ended when the server went away"
  start_sound_server || fail "the sound server did not start again"
  sleep 2 # the program finds it again within this

  ring "$wid" "$work/$backend-after.raw"
  after=$(loudest "$work/$backend-after.raw")
  awk -v l="$after" 'BEGIN { exit !(l > -30) }' || fail "$backend: the bell was not heard after the restart ($after dB)"
  windows=$(xdotool search --onlyvisible --pid "$app_pid" 2>/dev/null | wc -l)
  [[ $windows -eq 1 ]] || fail "$backend: $windows windows on screen, a message box among them?"
  echo "$backend: loudest $before dB before the restart, $after dB after"
  close_program "$wid"
done
echo "server restart: the bell is heard again after the sound server restarts, on both outputs"
