# Sourced by the xltctl scripts: a private work folder and registry, fail(), and start_sim, which
# starts an emulator and waits until it serves. Expects $1 = the build folder.
# Usage: source "$(dirname "$0")/emulator.sh" "$1"
build=$1
xltctl=$build/cli/xltctl
work=$(mktemp -d)
export XLT_SIM_DIR=$work/sim XDG_CONFIG_HOME=$work/config
sim_pids=()
sims=0

stop_sims() {
    local pid
    for pid in "${sim_pids[@]}"; do
        kill "$pid" 2>/dev/null || true
        wait "$pid" 2>/dev/null || true
    done
    sim_pids=()
}
trap 'stop_sims; rm -rf "$work"' EXIT

fail() {
    echo "FAIL: $*" >&2
    exit 1
}

# start_sim [xlt-sim options...]: starts an emulator without state; sets sim_com ("COMn") and
# sim_node (its device node). Call it directly, not in $(...): the script must keep its pid.
start_sim() {
    sims=$((sims + 1))
    local log=$work/sim-$sims.log
    "$build/sim/xlt-sim" --no-state "$@" >"$log" 2>&1 &
    sim_pids+=($!)
    for _ in $(seq 50); do
        grep -q serving "$log" && break
        sleep 0.1
    done
    grep -q serving "$log" || fail "the emulator did not start: $(cat "$log")"
    read -r sim_com sim_node < <(sed -n 's/^xlt-sim: serving \(.*\) as \(COM[0-9]*\).*/\2 \1/p' "$log")
}

needs_python3() {
    command -v python3 >/dev/null || { echo "SKIPPED: python3 reads the JSON back"; exit 77; }
}
