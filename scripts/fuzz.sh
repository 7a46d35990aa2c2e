#!/usr/bin/env bash
# Runs every libFuzzer target of build/fuzz for N seconds (default 60) on its committed corpus.
# New interesting inputs go to build/fuzz/corpus-<target>, crashes to build/fuzz/crashes.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-60}
mkdir -p build/fuzz/crashes
shopt -s nullglob
targets=(build/fuzz/fuzz/fuzz_*)
if [ ${#targets[@]} -eq 0 ]; then
  echo "fuzz: no targets built"
  exit 0
fi
for target in "${targets[@]}"; do
  name=$(basename "$target")
  work=build/fuzz/corpus-$name
  mkdir -p "$work"
  seeds=fuzz/corpus/${name#fuzz_}
  [ -d "$seeds" ] || seeds=""
  echo "fuzz: $name for ${seconds}s"
  "$target" -max_total_time="$seconds" -max_len=600 -print_final_stats=0 \
    -artifact_prefix=build/fuzz/crashes/"$name"- "$work" ${seeds:+"$seeds"} 2>&1 | tail -n 3
done
