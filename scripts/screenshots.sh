#!/usr/bin/env bash
# Takes the README's screenshots (docs/images/*.png) of XLT's windows against the device
# emulator, under a virtual X server (xvfb-run) when it is installed, otherwise offscreen.
# Builds what it needs in the dev preset (PRESET=name picks another one that builds the tools).
set -euo pipefail
cd "$(dirname "$0")/.."
preset=${PRESET:-dev}
cmake --preset "$preset" >/dev/null
cmake --build --preset "$preset" --target xlt_screenshots xlt-sim
bin=build/$preset

work=$(mktemp -d)
sim_pid=
cleanup() {
    if [ -n "$sim_pid" ]; then
        kill "$sim_pid" 2>/dev/null || true
        wait "$sim_pid" 2>/dev/null || true
    fi
    rm -rf "$work"
}
trap cleanup EXIT

# A user of its own: settings, emulator registry and log folder in the temporary folder.
export HOME=$work/home XDG_CONFIG_HOME=$work/home/.config XDG_DATA_HOME=$work/home/.local/share
export XLT_SIM_DIR=$work/sim
logs="$HOME/Documents/XLT logs"
mkdir -p "$logs" "$XDG_CONFIG_HOME/XLT"
printf '[STARTUP]\nLOGPATH=%s\n' "$logs" >"$XDG_CONFIG_HOME/XLT/XLT.conf"

"$bin/sim/xlt-sim" --no-state --traffic normal >"$work/sim.log" 2>&1 &
sim_pid=$!
for _ in $(seq 50); do
    grep -q serving "$work/sim.log" && break
    sleep 0.1
done
grep -q serving "$work/sim.log" || { cat "$work/sim.log"; exit 1; }

mkdir -p docs/images
if command -v xvfb-run >/dev/null; then
    xvfb-run -a -s "-screen 0 1280x1024x24" "$bin/tools/screenshots/xlt_screenshots" docs/images
else
    echo "xvfb-run is not installed: taking the screenshots offscreen"
    QT_QPA_PLATFORM=offscreen "$bin/tools/screenshots/xlt_screenshots" docs/images
fi
