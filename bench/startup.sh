#!/usr/bin/env bash
# Measures the program's start-up under a virtual X server with the dummy audio driver.
# Usage: bench/startup.sh [BUILD-DIR] [RUNS]    (after `make build`)
set -euo pipefail
build=$(realpath "${1:-build}")
runs=${2:-20}
cmake --build "$build" --target StartupBench tarnek >/dev/null
work=$(mktemp -d)
trap 'kill $xvfb 2>/dev/null || true; rm -rf "$work"' EXIT
exec 3> "$work/display"
Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
xvfb=$!
for _ in $(seq 100); do [[ -s "$work/display" ]] && break; sleep 0.1; done
mkdir -m 700 "$work/runtime"
export DISPLAY=":$(head -n1 "$work/display")" SDL_AUDIODRIVER=dummy QT_QPA_PLATFORM=xcb XDG_RUNTIME_DIR="$work/runtime"
cd "$work"
"$build/bench/StartupBench" "$build/tarnek" "$runs"
