#!/usr/bin/env bash
# Sets up, builds, starts the device emulator and opens XLT, which finds the emulated device by
# itself. The emulator stops when XLT is closed. Extra arguments go to xlt-sim.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
cmake --preset release >/dev/null
cmake --build --preset release
bin=build/release
"$bin/sim/xlt-sim" --traffic normal "$@" &
sim_pid=$!
trap 'kill "$sim_pid" 2>/dev/null || true' EXIT
sleep 0.5
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ] && [ -z "${QT_QPA_PLATFORM:-}" ]; then
  echo "No display found: running XLT under a virtual X server (xvfb-run)."
  xvfb-run -a "$bin/src/xlt"
else
  "$bin/src/xlt"
fi
