#!/usr/bin/env bash
# End-to-end latency and idle CPU on a private PipeWire server (session bus, pipewire,
# wireplumber, pipewire-pulse, one null sink), in a scratch folder, under Xvfb: the real
# program with the sample bell, and beside it the smallest native client (ReferenceClient).
# Prints press -> sound and release -> silence for each, and the idle CPU of each plus the
# server. Needs `make build` first.
# Usage: bench/latency.sh [BUILD] [PRESSES] [GAP_MS] [REFERENCE_FRAMES]
#   GAP_MS: quiet time before each press (default 1500: past the program's 1 s before its
#   stream sleeps, so every press wakes it).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-build}" && pwd)
presses=${2:-20}
gap=${3:-1500}
reference_frames=${4:-256}

source "$root/tests/app/xvfb.sh"
source "$root/tests/app/pipewire.sh"
ref_pid=
trap '[[ -n "$ref_pid" ]] && kill "$ref_pid" 2>/dev/null; stop_sound_server; stop_bus; cleanup' EXIT

mkdir "$work/program"
cp "$build/tarnek" "$build/door.wav" "$build/b.wav" "$work/program/"
printf '[TARNEK 1.10]\nDoor=No\nNoise=No\n' > "$work/program/tarnek.ini"

start_xvfb
unset SDL_AUDIODRIVER TARNEK_AUDIO
start_sound_server || fail "the private PipeWire server did not start"

# CPU seconds used so far by the processes named.
cpu() { local t=0 p; for p in "$@"; do t=$((t + $(awk '{ print $14 + $15 }' "/proc/$p/stat"))); done; echo "$t"; }
# Share of one core the processes named use over $1 seconds.
cpu_share() {
  local seconds=$1; shift
  local a b; a=$(cpu "$@"); sleep "$seconds"; b=$(cpu "$@")
  awk -v d="$((b - a))" -v s="$seconds" -v hz="$(getconf CLK_TCK)" 'BEGIN { printf "%.2f %%", 100 * d / hz / s }'
}

(cd "$work" && exec "$work/program/tarnek" "$build/samples/electric-bell.wav") 2> "$work/stderr" &
app_pid=$!
wid=$(timeout 20 xdotool search --sync --onlyvisible --pid "$app_pid" 2>/dev/null | head -n1) || true
[[ -n "$wid" ]] || fail "no window appeared"
sleep 3
echo "CPU, one core = 100 %:"
echo "  タルネク + server (pipewire, wireplumber, pipewire-pulse), idle 15 s: $(cpu_share 15 "$app_pid" "${sound_pids[@]}")"
xdotool windowfocus --sync "$wid" 2>/dev/null || true
xdotool keydown --window "$wid" space
echo "  the same while the bell rings, 10 s: $(cpu_share 10 "$app_pid" "${sound_pids[@]}")"
xdotool keyup --window "$wid" space

"$build/bench/ReferenceClient" "$reference_frames" > "$work/reference.window" 2> "$work/reference.log" &
ref_pid=$!
for _ in $(seq 100); do [[ -s "$work/reference.window" ]] && break; sleep 0.1; done
rwid=$(head -n1 "$work/reference.window")
[[ -n "$rwid" ]] || fail "the reference client's window did not appear"
sleep 3
echo "  reference client ($reference_frames frames, stream always running) + server, idle 15 s: $(cpu_share 15 "$ref_pid" "${sound_pids[@]}")"

echo "latency, $presses presses each, taking turns, ${gap}+ ms quiet before each press, 400 ms held:"
"$build/bench/LatencyBench" "$presses" "$gap" "タルネク=$wid" "reference client=$rwid"
x11close=$build/tests/x11close
close_program "$wid"
