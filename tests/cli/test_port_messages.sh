#!/usr/bin/env bash
# xltctl against the emulator's port when that port cannot be opened: each device command
# says why, once, and ends with exit code 1. Usage: test_port_messages.sh BUILD_DIR
#   permission  a port the user may not open: as root the command runs as "nobody"
#               (setpriv), otherwise the pseudo-terminal's node is made unreadable;
#   busy        a port that a running xltctl monitor holds: the holder is named.
set -euo pipefail
build=$1
xltctl=$build/cli/xltctl
work=$(mktemp -d)
export XLT_SIM_DIR=$work/sim XDG_CONFIG_HOME=$work/config
sim_pid=
holder_pid=
node=
cleanup() {
    for pid in $holder_pid $sim_pid; do
        kill "$pid" 2>/dev/null || true
        wait "$pid" 2>/dev/null || true
    done
    if [ -n "$node" ]; then
        chmod 600 "$node" 2>/dev/null || true
    fi
    rm -rf "$work"
}
trap cleanup EXIT
fail() {
    echo "FAIL: $*" >&2
    exit 1
}

"$build/sim/xlt-sim" --no-state --traffic quiet >"$work/sim.log" 2>&1 &
sim_pid=$!
for _ in $(seq 50); do
    grep -q serving "$work/sim.log" && break
    sleep 0.1
done
node=$(sed -n 's/^xlt-sim: serving \(.*\) as COM.*/\1/p' "$work/sim.log")
[ -n "$node" ] || fail "the emulator did not start: $(cat "$work/sim.log")"

# Runs xltctl with the given arguments (as $as_user); expects exit code 1 and exactly one
# message about the port on stderr that holds every one of the given texts.
as_user=()
expect_message() {
    local -n wanted=$1
    shift
    local status=0
    "${as_user[@]}" env XLT_SIM_DIR="$XLT_SIM_DIR" XDG_CONFIG_HOME="$XDG_CONFIG_HOME" \
        "$xltctl" "$@" >"$work/out" 2>"$work/err" </dev/null || status=$?
    [ "$status" -eq 1 ] || fail "xltctl $* ended with $status, not 1: $(cat "$work/err")"
    [ "$(grep -c 'cannot open the port' "$work/err")" -eq 1 ] ||
        fail "xltctl $*: not one port message: $(cat "$work/err")"
    for text in "${wanted[@]}"; do
        grep -qF -- "$text" "$work/err" || fail "xltctl $*: no '$text' in: $(cat "$work/err")"
    done
    echo "ok: xltctl $*: $(grep 'cannot open the port' "$work/err")"
}

# An update file of 17 blocks whose identity (file offset 2160) reaches the device with block 15.
{
    printf 'XLT\0\0\x11\0'
    head -c 121 /dev/zero
    head -c 2032 /dev/zero
    printf 'PR01 01240001'
    head -c 131 /dev/zero
} >"$work/os.dpc"
chmod 644 "$work/os.dpc"

# The update tries the port twice (its open step, then the first block): one message all the same.
commands=("identity" "options" "config read" "config detect --seconds 1"
          "monitor --seconds 1 --log-dir $work" "update --yes $work/os.dpc")

check_permission() {
    if [ "$(id -u)" -eq 0 ]; then
        command -v setpriv >/dev/null || { echo "SKIPPED: setpriv is not installed"; exit 77; }
        # The emulator's registry is trusted only when private to its user: give "nobody" a
        # private copy of the entries.
        chmod 755 "$work"
        mkdir -m 700 "$work/nobody-sim"
        cp "$XLT_SIM_DIR"/port-* "$work/nobody-sim/"
        chown -R nobody:nogroup "$work/nobody-sim"
        chmod 600 "$work/nobody-sim"/port-*
        export XLT_SIM_DIR=$work/nobody-sim
        as_user=(setpriv --reuid=nobody --regid=nogroup --clear-groups)
    else
        chmod 000 "$node"
    fi
    local texts=("permission denied" "70-xlt.rules" "sudo adduser")
    for command in "${commands[@]}"; do
        # shellcheck disable=SC2086 # the command's words
        expect_message texts $command
    done
}

check_busy() {
    "$xltctl" monitor --seconds 30 --log-dir "$work" >/dev/null 2>&1 &
    holder_pid=$!
    # The holder has the port once its lock file is there (QSerialPort's, named after the node).
    local lock=${node#/dev/}
    lock=LCK..${lock//\//_}
    for _ in $(seq 50); do
        [ -e "/run/lock/$lock" ] || [ -e "/var/lock/$lock" ] && break
        sleep 0.1
    done
    local texts=("in use by xltctl (process $holder_pid)")
    for command in "${commands[@]}"; do
        # shellcheck disable=SC2086
        expect_message texts $command
    done
    kill "$holder_pid"
    wait "$holder_pid" || true
    holder_pid=
    "$xltctl" identity >/dev/null || fail "the port did not open once its holder had gone"
}

case ${2:-} in
permission) check_permission ;;
busy) check_busy ;;
*) fail "usage: test_port_messages.sh BUILD_DIR permission|busy" ;;
esac
