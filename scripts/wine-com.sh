# Sourced by scripts/check-windows.sh and scripts/build-windows.sh: a Wine prefix of their own
# in $work (a temporary folder the caller removes), and the emulator on a Wine COM port that the
# registry lists as a USB serial device, as the device's own driver does. No display needed.
export WINEPREFIX=$work/wine WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" WINEARCH=win64
sim_pid=

# Wine's first start (the prefix, its server) now and then fails on a loaded machine: each step
# that starts it is tried three times, and fails when it never succeeds.
retry() {
  local attempt
  for attempt in 1 2 3; do
    "$@" </dev/null && return 0
    echo "wine: '$*' failed (attempt $attempt), starting Wine's server again" >&2
    wineserver -k 2>/dev/null || true
    sleep 1
  done
  return 1
}
wine_reg() { wine reg add "$@" /f >/dev/null; }

wine_prefix() { retry wineboot --init >/dev/null 2>&1; }

# wine_com_emulator XLT_SIM COM [emulator arguments]: starts the emulator (sim_pid) and makes
# its pseudo-terminal COM<COM> under Wine, listed in SERIALCOMM as \Device\USBSER000.
wine_com_emulator() {
  local sim=$1 com=$2 pty=
  shift 2
  mkdir -p -m 700 "$work/registry"
  "$sim" --no-state --registry "$work/registry" "$@" >"$work/sim.log" 2>&1 &
  sim_pid=$!
  for _ in $(seq 50); do
    pty=$(sed -n 's|^xlt-sim: serving \(/dev/[^ ]*\) as COM.*|\1|p' "$work/sim.log")
    [ -n "$pty" ] && break
    sleep 0.1
  done
  [ -n "$pty" ] || { cat "$work/sim.log" >&2; echo "wine: the emulator did not start" >&2; return 1; }
  # Wine makes COM<COM> of the pseudo-terminal when its server starts again.
  retry wine_reg 'HKLM\Software\Wine\Ports' /v "COM$com" /d "$pty"
  wineserver -k || true
  wineserver -w || true
  # Its own log: a server that is stopped prints its objects.
  retry wineserver -p >"$work/wineserver.log" 2>&1
  retry wine_reg 'HKLM\HARDWARE\DEVICEMAP\SERIALCOMM' /v '\Device\USBSER000' /d "COM$com"
}

wine_stop() {
  [ -z "$sim_pid" ] || kill "$sim_pid" 2>/dev/null || true
  wineserver -k >/dev/null 2>&1 || true
}
