#!/usr/bin/env bash
# The Windows check: cross-builds the Qt-free pieces (CRC, framing, the protocol procedures, the
# registry's ports, the Win32 serial link) with MinGW-w64 and GoogleTest built from its sources,
# runs their tests under Wine, then runs the Win32 link against the emulator (xlt-sim, built for
# Linux) on a Wine COM port that the registry lists as a USB serial device: discovery, identity,
# a configuration read, a time-out. No display needed. Prints its time.
#   scripts/check-windows.sh [XLT_SIM]   (default build/ci/sim/xlt-sim)
#   WIN_BUILD_DIR=dir                    (default build/win-check)
set -euo pipefail
cd "$(dirname "$0")/.."
started=$SECONDS
sim=${1:-build/ci/sim/xlt-sim}
build=${WIN_BUILD_DIR:-build/win-check}
[ -x "$sim" ] || { echo "check-windows: no emulator at $sim (build it first)" >&2; exit 2; }

echo "== windows: cross-build (MinGW-w64, no Qt) =="
launcher=()
command -v ccache >/dev/null && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache)
cmake -S . -B "$build" -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/mingw64.cmake -DXLT_QT=OFF \
  -DCMAKE_BUILD_TYPE=Release -DXLT_WERROR=ON "${launcher[@]}" >/dev/null
# At the lowest priority: in scripts/test.sh it builds beside the tests.
nice -n 19 cmake --build "$build" --target windows_tests
tests=$build/tests/windows/windows_tests.exe

work=$(mktemp -d)
export WINEPREFIX=$work/wine WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" WINEARCH=win64
unset DISPLAY WAYLAND_DISPLAY
sim_pid=
cleanup() {
  [ -z "$sim_pid" ] || kill "$sim_pid" 2>/dev/null || true
  wineserver -k >/dev/null 2>&1 || true
  rm -rf "$work"
}
trap cleanup EXIT

# Wine's first start (the prefix, its server) now and then fails on a loaded machine: each step
# that starts it is tried three times, and fails the check when it never succeeds.
retry() {
  local attempt
  for attempt in 1 2 3; do
    "$@" </dev/null && return 0
    echo "check-windows: '$*' failed (attempt $attempt), starting Wine's server again" >&2
    wineserver -k 2>/dev/null || true
    sleep 1
  done
  return 1
}
wine_reg() { wine reg add "$@" /f >/dev/null; }

echo "== windows: Wine prefix =="
retry wineboot --init >/dev/null 2>&1

echo "== windows: tests under Wine =="
wine "$tests" --gtest_brief=1 --gtest_filter='-WineCom.*' </dev/null

echo "== windows: the Win32 link against the emulator on a Wine COM port =="
# The emulator leaves command 22 unanswered, for the time-out test.
mkdir -m 700 "$work/registry"
"$sim" --no-state --registry "$work/registry" --fault no-reply --fault-code 22 >"$work/sim.log" 2>&1 &
sim_pid=$!
pty=
for _ in $(seq 50); do
  pty=$(sed -n 's|^xlt-sim: serving \(/dev/[^ ]*\) as COM.*|\1|p' "$work/sim.log")
  [ -n "$pty" ] && break
  sleep 0.1
done
[ -n "$pty" ] || { cat "$work/sim.log" >&2; echo "check-windows: the emulator did not start" >&2; exit 1; }
# Wine makes COM129 of the pseudo-terminal when its server starts again; the device's own
# driver would list it as \Device\USBSERnnn, which is what the device search looks for.
com=129
retry wine_reg 'HKLM\Software\Wine\Ports' /v COM$com /d "$pty"
wineserver -k || true
wineserver -w || true
# Its own log: a server that is stopped prints its objects.
retry wineserver -p >"$work/wineserver.log" 2>&1
retry wine_reg 'HKLM\HARDWARE\DEVICEMAP\SERIALCOMM' /v '\Device\USBSER000' /d COM$com
XLT_TEST_COM=$com WINEDEBUG=-all wine "$tests" --gtest_brief=1 --gtest_filter='WineCom.*' </dev/null

echo "check-windows: passed in $((SECONDS - started)) s"
