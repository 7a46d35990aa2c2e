#!/usr/bin/env bash
# xltctl config read --json, options --json, config diff and config write --dry-run against the emulator. The
# emulator refuses command 18 (the configuration write), so a dry run that sent it would fail.
# Usage: test_config_diff.sh BUILD_DIR
set -euo pipefail
source "$(dirname "$0")/emulator.sh" "$1"
needs_python3

start_sim --traffic quiet --fault fail-status --fault-code 18

"$xltctl" config read --json --ufg "$work/device.ufg" | python3 -c '
import json, sys
d = json.load(sys.stdin)
assert set(d) == {"version", "bootVersion", "rows"}, d
assert [r["row"] for r in d["rows"]] == list(range(8)), d
assert all(set(r) == {"row", "code", "country", "denomination", "exp"} for r in d["rows"]), d
' || fail "config read --json"

[ "$("$xltctl" config diff "$work/device.ufg")" = "No differences" ] || fail "diff of its own read"

# The same configuration with row 2's country changed.
python3 - "$work/device.ufg" "$work/changed.ufg" <<'PY'
import sys
lines = open(sys.argv[1], encoding="latin-1").read().split("\n")
start = lines.index("[CURRENCY ASSIG DATA]") + 1
old = lines[start + 2 * 4 + 1]
lines[start + 2 * 4 + 1] = "07" if old != "07" else "08"
open(sys.argv[2], "w", encoding="latin-1").write("\n".join(lines))
PY
changed=$("$xltctl" config diff "$work/changed.ufg")
[ "$(wc -l <<<"$changed")" -eq 1 ] && grep -q "^Row 2 Country: '.*' -> '0[78]'$" <<<"$changed" ||
    fail "config diff: $changed"
[ "$("$xltctl" config diff "$work/device.ufg" "$work/changed.ufg")" = "$changed" ] ||
    fail "config diff of two files"
# --exit-code: 1 for differences (also of two files, with no device at the chosen port), 0 none.
exits() {
    local want=$1 status=0
    shift
    "$xltctl" "$@" >/dev/null 2>&1 || status=$?
    [ "$status" -eq "$want" ] || fail "xltctl $* ended with $status, not $want"
}
exits 1 config diff --exit-code "$work/changed.ufg"
exits 1 config diff --exit-code "$work/device.ufg" "$work/changed.ufg" --port COM99
exits 0 config diff --exit-code "$work/device.ufg"

dry=$("$xltctl" config write --dry-run "$work/changed.ufg") || fail "dry run failed: $dry"
[ "$dry" = "$changed" ] || fail "dry run printed: $dry"

# Every currency value written another way for the same byte ("0A" as "a "): nothing to write.
python3 - "$work/device.ufg" "$work/same.ufg" <<'PY'
import sys
lines = open(sys.argv[1], encoding="latin-1", newline="").read().split("\r\n")
start = lines.index("[CURRENCY ASSIG DATA]") + 1
for i in range(start, start + 32):
    lines[i] = format(int(lines[i], 16), "x") + " "
open(sys.argv[2], "w", encoding="latin-1", newline="").write("\r\n".join(lines))
PY
[ "$("$xltctl" config diff "$work/same.ufg")" = "No differences" ] || fail "diff of the same bytes"
both=$("$xltctl" config diff "$work/same.ufg" "$work/changed.ufg")
[ "$(wc -l <<<"$both")" -eq 1 ] && grep -q "^Row 2 Country: '[0-9a-f]* ' -> '0[78]'$" <<<"$both" ||
    fail "diff of the same bytes against a change: $both"
[ "$("$xltctl" config write --dry-run "$work/same.ufg")" = "No differences" ] ||
    fail "dry run of the same bytes"
status=0
"$xltctl" config write "$work/changed.ufg" >/dev/null 2>&1 || status=$?
[ "$status" -eq 1 ] || fail "the emulator did not refuse the real write ($status)"
[ "$("$xltctl" config diff "$work/device.ufg")" = "No differences" ] || fail "the device changed"

"$xltctl" options --json | python3 -c '
import json, sys
d = json.load(sys.stdin)
assert d["hostDrive"] in ("ttl", "opto") and isinstance(d["hostDriveByte"], int), d
assert d["info"] and all(isinstance(line, str) for line in d["info"]), d
' || fail "options --json"

status=0
"$xltctl" config diff >/dev/null 2>&1 || status=$?
[ "$status" -eq 2 ] || fail "diff without a file ended with $status"
status=0
"$xltctl" config diff "$work/missing.ufg" >/dev/null 2>&1 || status=$?
[ "$status" -eq 2 ] || fail "diff of a missing file ended with $status"
echo "ok: config read --json, diff, write --dry-run"
