#!/usr/bin/env bash
# Sets up, builds and runs the whole test suite: one optimised build with the address and
# undefined-behaviour sanitizers and warnings as errors, its tests, the style gates, the Windows
# check (scripts/check-windows.sh) and a short run of every fuzz target. Prints the time of each
# phase at the end.
#   FUZZ_SECONDS=N  seconds per fuzz target (default 5; 0 skips the fuzz run)
set -euo pipefail
cd "$(dirname "$0")/.."
export QT_QPA_PLATFORM=${QT_QPA_PLATFORM:-offscreen}

phases=()
started=$SECONDS
phase_done() { # name
    phases+=("$(printf '%-28s %4d s' "$1" $((SECONDS - started)))")
    started=$SECONDS
}
report() {
    echo "== time per phase =="
    printf '%s\n' "${phases[@]}"
}
trap report EXIT

bash scripts/setup.sh
phase_done "packages"

# Keep test runs away from the user's real settings and emulator ports.
export XDG_CONFIG_HOME=${XDG_CONFIG_HOME_FOR_TESTS:-$(mktemp -d)}
export XLT_SIM_DIR=${XLT_SIM_DIR_FOR_TESTS:-$(mktemp -d)}

echo "== build: ci preset (optimised, sanitizers, warnings as errors) =="
cmake --preset ci
cmake --build --preset ci
phase_done "build (ci)"

# The fuzz targets build in the background at the lowest priority: they take only the processor
# time that the tests and the style gates leave.
fuzz_seconds=${FUZZ_SECONDS:-5}
fuzz_build=
if [ "$fuzz_seconds" != 0 ]; then
  fuzz_log=$(mktemp)
  (nice -n 19 cmake --preset fuzz && nice -n 19 cmake --build --preset fuzz) >"$fuzz_log" 2>&1 &
  fuzz_build=$!
fi

# The Windows check (scripts/check-windows.sh: a MinGW cross-build of the Qt-free pieces, their
# tests under Wine, the Win32 link against this build's emulator) runs beside the tests too.
windows_log=$(mktemp)
bash scripts/check-windows.sh build/ci/sim/xlt-sim >"$windows_log" 2>&1 &
windows_check=$!

# The tests spend most of their time waiting on lines and timers, clang-tidy on the processor:
# the style gates run beside the tests and report when the tests are done.
echo "== tests and style gates =="
style_log=$(mktemp)
bash scripts/check_style.sh build/ci >"$style_log" 2>&1 &
style=$!
tests_status=0
ctest --preset ci -j2 || tests_status=$?
phase_done "tests (beside style)"
style_status=0
wait "$style" || style_status=$?
cat "$style_log"
phase_done "style gates (rest)"
[ "$tests_status" -eq 0 ] || { echo "tests failed" >&2; exit 1; }
[ "$style_status" -eq 0 ] || { echo "style gates failed" >&2; exit 1; }

echo "== windows check =="
windows_status=0
wait "$windows_check" || windows_status=$?
grep -v '^\[[0-9]*/[0-9]*\] ' "$windows_log" || true
phase_done "windows check (rest)"
[ "$windows_status" -eq 0 ] || { echo "windows check failed" >&2; exit 1; }

if [ -n "$fuzz_build" ]; then
  echo "== fuzz: ${fuzz_seconds}s per target =="
  fuzz_status=0
  wait "$fuzz_build" || fuzz_status=$?
  cat "$fuzz_log"
  [ "$fuzz_status" -eq 0 ] || { echo "fuzz build failed" >&2; exit 1; }
  phase_done "build (fuzz, rest)"
  bash scripts/fuzz.sh "$fuzz_seconds"
  phase_done "fuzz runs"
fi
echo "== all tests passed =="
