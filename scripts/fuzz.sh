#!/usr/bin/env bash
# Runs every libFuzzer target of build/fuzz for N seconds each (default 60) on its committed
# corpus fuzz/corpus/<name>. Build them first: cmake --preset fuzz && cmake --build --preset fuzz.
# New interesting inputs go to build/fuzz/corpus-<target>, crashes to build/fuzz/crashes; each
# target's output is kept in build/fuzz/<target>.log. Exits 1 when any target found a crash.
# Longer runs: scripts/fuzz.sh 3600 (an hour per target); the found inputs are kept between runs.
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
# One target: its summary line on success; its last lines and a FAILED mark otherwise.
run_one() { # target
  local target=$1 name work log seeds max_len
  name=$(basename "$target")
  work=build/fuzz/corpus-$name
  log=build/fuzz/$name.log
  mkdir -p "$work"
  seeds=fuzz/corpus/${name#fuzz_}
  [ -d "$seeds" ] || seeds=""
  # Frames and replies are at most 256 bytes after the leading tag byte; the device target
  # takes a series of commands, each up to 131 bytes; files are longer: an update file needs
  # 2173 bytes for its identity, a replies line may pass the 4096-character limit.
  case "$name" in
    fuzz_dpc | fuzz_hex | fuzz_capture) max_len=8192 ;;
    fuzz_device) max_len=4096 ;;
    fuzz_ufg | fuzz_simstate) max_len=2048 ;;
    fuzz_simargs) max_len=512 ;;
    *) max_len=300 ;;
  esac
  if "$target" -max_total_time="$seconds" -max_len="$max_len" -print_final_stats=0 \
      -artifact_prefix=build/fuzz/crashes/"$name"- "$work" ${seeds:+"$seeds"} >"$log" 2>&1; then
    echo "fuzz: $name for ${seconds}s: $(grep -E '^Done [0-9]+ runs' "$log" || tail -n 1 "$log")"
  else
    echo "fuzz: $name FAILED; last lines of $log:"
    tail -n 40 "$log"
    return 1
  fi
}

# The targets run side by side, one per processor; each prints when it is done.
jobs=$(nproc)
results=$(mktemp -d)
trap 'rm -rf "$results"' EXIT
running=0
for target in "${targets[@]}"; do
  [ -x "$target" ] && [ -f "$target" ] || continue
  if [ "$running" -ge "$jobs" ]; then
    wait -n || true
    running=$((running - 1))
  fi
  name=$(basename "$target")
  { run_one "$target" >"$results/$name.out" 2>&1 || touch "$results/$name.failed"
    cat "$results/$name.out"; } &
  running=$((running + 1))
done
wait
failed=()
for mark in "$results"/*.failed; do
  failed+=("$(basename "$mark" .failed)")
done
if [ ${#failed[@]} -ne 0 ]; then
  echo "fuzz: crashes in ${failed[*]} (inputs in build/fuzz/crashes; copy one into"
  echo "fuzz/corpus/<name>/ to keep it as a regression test)"
  exit 1
fi
