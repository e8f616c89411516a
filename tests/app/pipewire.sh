# Sourced after xvfb.sh (it uses $work, fail and $XDG_RUNTIME_DIR): a private sound server for
# whole-program tests and benchmarks, as a desktop runs it (a session bus, pipewire, wireplumber,
# pipewire-pulse) with one null sink, "tarnek-sink", in the scratch folder. It is stopped on exit.
#   start_sound_server   starts it and waits until the sink can be used; returns 1 when PipeWire
#                        cannot start at all (not installed, no socket), 2 when the rest fails
#   stop_sound_server    ends it (as a crash or an upgrade would)
sound_pids=()
bus_pid=

stop_sound_server() {
  local pid
  for pid in "${sound_pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  for pid in "${sound_pids[@]}"; do wait "$pid" 2>/dev/null || true; done
  sound_pids=()
}

stop_bus() {
  [[ -n "$bus_pid" ]] && kill "$bus_pid" 2>/dev/null && wait "$bus_pid" 2>/dev/null
  bus_pid=
  return 0
}
trap 'stop_sound_server; stop_bus; cleanup' EXIT

start_sound_server() {
  command -v pipewire > /dev/null && command -v wireplumber > /dev/null || return 1
  unset PIPEWIRE_REMOTE PIPEWIRE_RUNTIME_DIR PULSE_SERVER
  mkdir -p "$XDG_CONFIG_HOME/pipewire/pipewire.conf.d"
  cat > "$XDG_CONFIG_HOME/pipewire/pipewire.conf.d/tarnek-sink.conf" <<'CONF'
context.objects = [
  { factory = adapter
    args = { factory.name = support.null-audio-sink node.name = tarnek-sink
             media.class = Audio/Sink audio.position = [ FL FR ] audio.rate = 48000
             object.linger = true } }
]
CONF
  if [[ -z "$bus_pid" ]]; then
    # wireplumber does not run without a session bus.
    dbus-daemon --session --nofork --address="unix:path=$XDG_RUNTIME_DIR/bus" > "$work/dbus.log" 2>&1 &
    bus_pid=$!
    export DBUS_SESSION_BUS_ADDRESS="unix:path=$XDG_RUNTIME_DIR/bus"
    for _ in $(seq 50); do [[ -S "$XDG_RUNTIME_DIR/bus" ]] && break; sleep 0.1; done
  fi
  rm -f "$XDG_RUNTIME_DIR/pipewire-0" # one left by a server that died would look ready
  pipewire >> "$work/pipewire.log" 2>&1 &
  sound_pids+=($!)
  for _ in $(seq 50); do [[ -S "$XDG_RUNTIME_DIR/pipewire-0" ]] && break; sleep 0.1; done
  [[ -S "$XDG_RUNTIME_DIR/pipewire-0" ]] || return 1
  wireplumber >> "$work/wireplumber.log" 2>&1 &
  sound_pids+=($!)
  pipewire-pulse >> "$work/pipewire-pulse.log" 2>&1 &
  sound_pids+=($!)
  # Ready when the session manager has made the sink the default one and the pulse socket is up.
  for _ in $(seq 100); do
    if [[ -S "$XDG_RUNTIME_DIR/pulse/native" ]] && wpctl status 2>/dev/null | grep -q '\*.*tarnek-sink'; then return 0; fi
    sleep 0.1
  done
  return 2
}

# Records the sink's output (what it plays) as raw 48 kHz stereo float into $1 until killed;
# sets $record_pid.
record_sink() {
  pw-record --target tarnek-sink -P '{ stream.capture.sink = true }' --format f32 --rate 48000 --channels 2 - > "$1" 2>> "$work/record.log" &
  record_pid=$!
}
