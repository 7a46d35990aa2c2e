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
unset DISPLAY WAYLAND_DISPLAY
source scripts/wine-com.sh
cleanup() {
  wine_stop
  rm -rf "$work"
}
trap cleanup EXIT

echo "== windows: Wine prefix =="
wine_prefix

echo "== windows: tests under Wine =="
wine "$tests" --gtest_brief=1 --gtest_filter='-WineCom.*' </dev/null

echo "== windows: the Win32 link against the emulator on a Wine COM port =="
# The emulator leaves command 22 unanswered, for the time-out test.
com=129
wine_com_emulator "$sim" $com --fault no-reply --fault-code 22
XLT_TEST_COM=$com WINEDEBUG=-all wine "$tests" --gtest_brief=1 --gtest_filter='WineCom.*' </dev/null

echo "check-windows: passed in $((SECONDS - started)) s"
