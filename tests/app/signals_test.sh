#!/usr/bin/env bash
# Ctrl+C, kill and logout (SIGINT, SIGTERM, SIGHUP) end the whole program the ordinary way:
# within 2 s, with status 0 and tarnek.ini written; also with the version dialog open, with a
# message box open during the start-up, and in the middle of a release wait. Two signals at
# once end it at once, without the shutdown.
# Usage: signals_test.sh TARNEK
set -euo pipefail
tarnek=$1
here=$(dirname "$tarnek")

source "$(dirname "$0")/xvfb.sh"

mkdir "$work/program"
cp "$tarnek" "$here/door.wav" "$here/b.wav" "$work/program/"
: > "$work/empty.wav"

# A silent 30 s WAVE (8 kHz, 8 bits, mono): a release wait in the Tachikawa style lasts the
# rest of its pass.
le32() { printf "\\x$(printf %02x $(($1 & 255)))\\x$(printf %02x $(($1 >> 8 & 255)))\\x$(printf %02x $(($1 >> 16 & 255)))\\x$(printf %02x $(($1 >> 24 & 255)))"; }
{
  printf 'RIFF'; le32 $((36 + 240000)); printf 'WAVEfmt '; le32 16
  printf '\x01\x00\x01\x00'; le32 8000; le32 8000; printf '\x01\x00\x08\x00'
  printf 'data'; le32 240000; head -c 240000 /dev/zero | tr '\0' '\200'
} > "$work/long.wav"

start_xvfb
export SDL_AUDIODRIVER=dummy

# Starts the program with arguments $@; $wid is its first visible window.
start() {
  (cd "$work" && exec "$work/program/tarnek" "$@") 2> "$work/stderr" &
  app_pid=$!
  wid=$(timeout 20 xdotool search --sync --onlyvisible --pid "$app_pid" 2>/dev/null | head -n1) || true
  [[ -n "$wid" ]] || fail "no window appeared"
}
# Sends the signals $@ and expects the program to end within 2 s; $status is its exit status.
signal_and_wait() {
  local signal
  for signal in "$@"; do kill "-$signal" "$app_pid"; done
  for _ in $(seq 20); do kill -0 "$app_pid" 2>/dev/null || break; sleep 0.1; done
  kill -0 "$app_pid" 2>/dev/null && fail "still running 2 s after SIG$*"
  status=0
  wait "$app_pid" || status=$?
  app_pid=
  if grep -E -q 'AddressSanitizer|runtime error' "$work/stderr"; then fail "sanitizer report"; fi
}
# Expects a clean end after signal $1 (status 0) with the settings written.
ended_cleanly() {
  [[ $status -eq 0 ]] || fail "after SIG$1 the program ended with status $status"
  grep -q '^TopMost=' "$work/program/tarnek.ini" 2>/dev/null || fail "after SIG$1 no tarnek.ini was written"
}

start
signal_and_wait TERM
ended_cleanly TERM
echo "signals: SIGTERM ended the program within 2 s and saved the settings"

# The version dialog (modal, with a loop of its own): the last item of the shortcut menu.
rm "$work/program/tarnek.ini"
start
xdotool mousemove --window "$wid" 300 56 click 3
sleep 0.5
xdotool key a
about=$(timeout 10 xdotool search --sync --onlyvisible --name '^タルネク のバージョン情報$' 2>/dev/null | head -n1) || true
[[ -n "$about" ]] || fail "the version dialog did not open"
signal_and_wait INT
ended_cleanly INT
echo "signals: SIGINT with the version dialog open ended the program within 2 s and saved the settings"

# An empty bell on the command line: its message box opens during the start-up, before the panel.
rm "$work/program/tarnek.ini"
start "$work/empty.wav"
[[ "$(xwininfo -id "$wid" | awk '/Width:/ {print $2}')" != 320 ]] || fail "the panel opened, not the message box"
signal_and_wait HUP
ended_cleanly HUP
echo "signals: SIGHUP with a message box open at start-up ended the program within 2 s and saved the settings"

# A release wait: in the Tachikawa style the pass of the long silent bell plays out.
printf '[TARNEK 1.10]\nEffectTachikawa=Yes\nDoor=No\n' > "$work/program/tarnek.ini"
start "$work/long.wav"
sleep 0.5
xdotool windowfocus --sync "$wid" 2>/dev/null || true
xdotool keydown --window "$wid" space
sleep 0.5
xdotool keyup --window "$wid" space
sleep 0.5
signal_and_wait TERM
ended_cleanly TERM
grep -q '^EffectTachikawa=Yes' "$work/program/tarnek.ini" || fail "the settings were lost: $(cat "$work/program/tarnek.ini")"
echo "signals: SIGTERM in a release wait ended the program within 2 s and saved the settings"

# Two signals together: the second takes the default action, before any shutdown.
rm "$work/program/tarnek.ini"
start
kill -STOP "$app_pid"
kill -HUP "$app_pid"
kill -TERM "$app_pid"
signal_and_wait CONT
[[ $status -eq $((128 + 1)) || $status -eq $((128 + 15)) ]] || fail "two signals: status $status, not ended by the second"
[[ ! -e "$work/program/tarnek.ini" ]] || fail "two signals: the shutdown ran"
echo "signals: a second signal ended the program at once, without the shutdown"
