#!/usr/bin/env bash
# The style gates: every C++ file as clang-format would write it, the include direction, and no
# clang-tidy finding (checks in .clang-tidy) in the program, the tool and the emulator.
# Usage: scripts/check_style.sh BUILD_DIR   (a configured build with compile_commands.json)
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:?usage: scripts/check_style.sh BUILD_DIR}

echo "style: clang-format"
# Tracked and new files alike, as they are in the tree (a file deleted but not yet committed is gone).
mapfile -t sources < <(git ls-files --cached --others --exclude-standard '*.cpp' '*.h' | sort -u |
    while IFS= read -r f; do [ -e "$f" ] && printf '%s\n' "$f"; done)
clang-format-14 --dry-run -Werror "${sources[@]}"

echo "style: include direction"
bash scripts/check_includes.sh

echo "style: clang-tidy"
# Findings are errors (.clang-tidy). The build must have run first, for the generated headers
# (moc, uic, Version.h). scripts/run_tidy.py checks each folder of a target in one run.
python3 scripts/run_tidy.py "$build" -j "$(nproc)" || {
    echo "style: clang-tidy failed (checks in .clang-tidy)" >&2
    exit 1
}
echo "style: clean"
