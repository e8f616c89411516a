#!/usr/bin/env bash
# The whole program with the sound captured by SDL's disk driver: a key held two seconds sounds
# the sample bell, its release silences it at once, and the door announcement follows after the
# delay. Then once more in the Tachikawa style: after the release the bell plays its pass out
# about 10 dB down.
# Usage: sound_test.sh TARNEK X11CLOSE LEVELS
set -euo pipefail
tarnek=$1
x11close=$2
levels=$3
here=$(dirname "$tarnek")

source "$(dirname "$0")/xvfb.sh"

mkdir "$work/program"
cp "$tarnek" "$here/door.wav" "$here/b.wav" "$work/program/"
cp "$here/samples/electric-bell.wav" "$work/bell.wav"

start_xvfb
export SDL_AUDIODRIVER=disk

# Runs the program with the bell, holds a key for two seconds, waits, closes it; leaves the
# sound in $work/$1.raw and its levels in $work/$1.levels, and how long the key was held, in
# the capture's ms, in $work/$1.held.
run() {
  local name=$1
  export SDL_DISKAUDIOFILE="$work/$name.raw"
  (cd "$work" && exec "$work/program/tarnek" "$work/bell.wav") 2> "$work/stderr" &
  app_pid=$!
  local wid
  wid=$(timeout 20 xdotool search --sync --onlyvisible --pid "$app_pid" 2>/dev/null | head -n1) || true
  [[ -n "$wid" ]] || fail "no window appeared"
  sleep 0.5
  local pressed released
  xdotool windowfocus --sync "$wid" 2>/dev/null || true
  # The hold is measured on the capture's own time line, by how far it has grown: the disk
  # driver writes a block and then sleeps a block's time, so on a busy machine its time runs
  # slower than the wall clock, and a wall-clock hold would not match the levels.
  pressed=$(stat -c %s "$SDL_DISKAUDIOFILE")
  xdotool keydown --window "$wid" space
  sleep 2
  xdotool keyup --window "$wid" space
  released=$(stat -c %s "$SDL_DISKAUDIOFILE")
  sleep 6
  "$x11close" "$wid"
  for _ in $(seq 100); do kill -0 "$app_pid" 2>/dev/null || break; sleep 0.1; done
  kill -0 "$app_pid" 2>/dev/null && fail "program did not end"
  wait "$app_pid" || fail "program ended badly"
  app_pid=
  "$levels" "$SDL_DISKAUDIOFILE" > "$work/$name.levels"
  echo "$(((released - pressed) / 384))" > "$work/$name.held" # 48 kHz stereo float: 384 bytes a ms
}

# The first loud stretch, the first quiet stretch after it, and the next loud one, in ms:
# "bell_start bell_end door_start", loud meaning above -40 dB.
stretches() {
  awk '
    { loud = $2 > -40 }
    phase == 0 && loud { bell = $1; phase = 1; next }
    phase == 1 && !loud { end = $1; phase = 2; next }
    phase == 2 && loud { door = $1; phase = 3 }
    END { print bell + 0, end + 0, door + 0 }' "$1"
}

printf '[TARNEK 1.10]\nDoorDelay=500\nDoor=Yes\n' > "$work/program/tarnek.ini"
run plain
read -r bell_start bell_end door_start < <(stretches "$work/plain.levels")
held=$(cat "$work/plain.held")
sounded=$((bell_end - bell_start))
gap=$((door_start - bell_end))
echo "plain: bell ${sounded} ms for a ${held} ms hold, then ${gap} ms to the announcement"
(( sounded > held - 250 && sounded < held + 250 )) || fail "the bell sounded ${sounded} ms for a ${held} ms hold"
(( gap > 400 && gap < 800 )) || fail "the announcement came ${gap} ms after the bell, not about 500"

printf '[TARNEK 1.10]\nDoorDelay=500\nDoor=Yes\nEffectTachikawa=Yes\n' > "$work/program/tarnek.ini"
run tachikawa
# The level while held and just after the release (the sample bell's pass is 4 s), both from
# this run's own start: a loaded machine starts the bell at another time in each run.
read -r t_start t_end t_door < <(stretches "$work/tachikawa.levels")
held_db=$(awk -v a="$((t_start + 500))" -v b="$((t_start + 1800))" '$1 >= a && $1 < b { s += 10 ^ ($2 / 10); n++ } END { printf "%.1f", 10 * log(s / n) / log(10) }' "$work/tachikawa.levels")
held=$(cat "$work/tachikawa.held")
tail_db=$(awk -v a="$((t_start + held + 200))" -v b="$((t_start + held + 1000))" '$1 >= a && $1 < b { s += 10 ^ ($2 / 10); n++ } END { printf "%.1f", 10 * log(s / n) / log(10) }' "$work/tachikawa.levels")
drop=$(awk -v h="$held_db" -v t="$tail_db" 'BEGIN { printf "%.1f", h - t }')
echo "tachikawa: held ${held_db} dB, after the release ${tail_db} dB (${drop} dB down), bell until ${t_end} ms"
awk -v d="$drop" 'BEGIN { exit !(d > 8.5 && d < 11.5) }' || fail "the tail is ${drop} dB down, not about 10"
if grep -E -q 'AddressSanitizer|runtime error' "$work/stderr"; then fail "sanitizer report"; fi
echo "sound: hold, release and announcement as set, in both styles"
