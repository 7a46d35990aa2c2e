#!/usr/bin/env bash
# Sets up, builds and runs the whole test suite: the optimised build with warnings as errors,
# the style gates, the sanitizer build, and a short run of every fuzz target.
#   FUZZ_SECONDS=N  seconds per fuzz target (default 5; 0 skips the fuzz run)
set -euo pipefail
cd "$(dirname "$0")/.."
export QT_QPA_PLATFORM=${QT_QPA_PLATFORM:-offscreen}
bash scripts/setup.sh

# Keep test runs away from the user's real settings and emulator ports.
export XDG_CONFIG_HOME=${XDG_CONFIG_HOME_FOR_TESTS:-$(mktemp -d)}
export XLT_SIM_DIR=${XLT_SIM_DIR_FOR_TESTS:-$(mktemp -d)}

echo "== build and test: ci preset =="
cmake --preset ci
cmake --build --preset ci
ctest --preset ci -j2

echo "== style: format, include direction, clang-tidy =="
bash scripts/check_style.sh build/ci

echo "== build and test: asan preset =="
cmake --preset asan
cmake --build --preset asan
ctest --preset asan -j2

fuzz_seconds=${FUZZ_SECONDS:-5}
if [ "$fuzz_seconds" != 0 ]; then
  echo "== fuzz: ${fuzz_seconds}s per target =="
  cmake --preset fuzz
  cmake --build --preset fuzz
  bash scripts/fuzz.sh "$fuzz_seconds"
fi
echo "== all tests passed =="
