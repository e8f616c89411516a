# Sourced by the whole-program tests: a scratch folder $work removed on exit together with the
# program ($app_pid) and a virtual X server started by start_xvfb [extra Xvfb arguments...].
work=$(mktemp -d)
# The desktop's per-user folders in there too: the recently used list ($work/data), the file
# dialog's history and any cache never reach the user's home.
export XDG_CONFIG_HOME="$work/config" XDG_DATA_HOME="$work/data" XDG_CACHE_HOME="$work/cache" XDG_STATE_HOME="$work/state"
mkdir "$XDG_CONFIG_HOME" "$XDG_DATA_HOME" "$XDG_CACHE_HOME" "$XDG_STATE_HOME"
xvfb_pid=
app_pid=
cleanup() {
  [[ -n "$app_pid" ]] && kill "$app_pid" 2>/dev/null || true
  [[ -n "$xvfb_pid" ]] && kill "$xvfb_pid" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT
fail() { echo "FAIL: $*"; [[ -f "$work/stderr" ]] && sed 's/^/  tarnek: /' "$work/stderr"; exit 1; }

start_xvfb() {
  exec 3> "$work/display"
  Xvfb -displayfd 3 -screen 0 1024x768x24 "$@" -nolisten tcp > "$work/xvfb.log" 2>&1 &
  xvfb_pid=$!
  for _ in $(seq 100); do [[ -s "$work/display" ]] && break; sleep 0.1; done
  [[ -s "$work/display" ]] || fail "Xvfb did not start"
  export DISPLAY=":$(head -n1 "$work/display")"
  mkdir -m 700 "$work/runtime"
  export LANG=C.UTF-8 QT_QPA_PLATFORM=xcb XDG_RUNTIME_DIR="$work/runtime"
  unset WAYLAND_DISPLAY
}

# Closes window $1 as a desktop's close button does (with the x11close program named by
# $x11close) and expects the program ($app_pid) to end cleanly, without sanitizer reports.
close_program() {
  "$x11close" "$1"
  for _ in $(seq 100); do kill -0 "$app_pid" 2>/dev/null || break; sleep 0.1; done
  kill -0 "$app_pid" 2>/dev/null && fail "program did not end after its window was closed"
  local status=0
  wait "$app_pid" || status=$?
  app_pid=
  [[ $status -eq 0 ]] || fail "program ended with status $status"
  if grep -E -q 'AddressSanitizer|runtime error' "$work/stderr"; then fail "sanitizer report"; fi
}
