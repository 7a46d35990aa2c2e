#!/usr/bin/env bash
# xltctl monitor --raw keeps the capture-read replies; xltctl decode --replies lists them again
# line for line, and --check adds each record's CRC verdict and reply time. The emulator spoils
# every fourth frame's CRC. Usage: test_raw_check.sh BUILD_DIR
set -euo pipefail
source "$(dirname "$0")/emulator.sh" "$1"

start_sim --traffic normal --bad-crc-traffic 4

# A file of that name is replaced; a link is not followed, and the run does not start (exit 1).
echo "old line" >"$work/raw.txt"
ln -s "$work/raw.txt" "$work/link.txt"
status=0
"$xltctl" monitor --seconds 1 --log-dir "$work" --raw "$work/link.txt" >/dev/null 2>"$work/err" ||
    status=$?
[ "$status" -eq 1 ] && [ "$(cat "$work/err")" = \
    "xltctl monitor: cannot write '$work/link.txt': it is a symbolic link" ] ||
    fail "--raw through a link ended with $status: $(cat "$work/err")"
[ "$(cat "$work/raw.txt")" = "old line" ] || fail "--raw wrote through a link"

"$xltctl" monitor --seconds 3 --log-dir "$work" --raw "$work/raw.txt" >"$work/live.txt" ||
    fail "monitor --raw"
[ "$(grep -c '^tgt|Packet #' "$work/live.txt")" -gt 10 ] || fail "too little traffic listed"
[ "$(head -n 1 "$work/raw.txt")" = "# XLT capture 1" ] || fail "no capture header"
grep -v '^# ' "$work/raw.txt" | grep -qvE '^([0-9A-F]{2})( [0-9A-F]{2})*$' && fail "raw lines are not hex"
"$xltctl" decode --replies "$work/raw.txt" >"$work/again.txt" || fail "decode --replies"
diff "$work/live.txt" "$work/again.txt" >/dev/null || fail "decode listed other lines"

"$xltctl" decode --check --replies "$work/raw.txt" >"$work/checked.txt" || fail "decode --check"
[ "$(grep -v '^check|' "$work/checked.txt")" = "$(cat "$work/live.txt")" ] ||
    fail "--check changed the listing"
for side in target host; do
    prefix=$([ $side = target ] && echo tgt || echo xlt)
    [ "$(grep -c "^check|$side|" "$work/checked.txt")" -eq \
        "$(grep -c "^$prefix|Packet #" "$work/checked.txt")" ] || fail "not one check per $side record"
done
bad=$(grep -c '^check|.*crc=bad' "$work/checked.txt")
all=$(grep -c '^check|' "$work/checked.txt")
# Every fourth frame, give or take the records that a run's ends cut off.
[ $((bad * 4)) -ge $((all - 8)) ] && [ $((bad * 4)) -le $((all + 8)) ] ||
    fail "$bad bad CRCs among $all records"
grep -q 'crc=unchecked' "$work/checked.txt" && fail "a frame went unchecked"
# The emulator answers SSP after 3 to 10 ms and ID003 after 5 to 12 ms.
sed -n 's/^check|target|.* reply=\([0-9]*\)ms$/\1/p' "$work/checked.txt" |
    awk '$1 < 3 || $1 > 10 { exit 1 } END { if (NR < 3) exit 1 }' || fail "target reply times"
sed -n 's/^check|host|.* reply=\([0-9]*\)ms$/\1/p' "$work/checked.txt" |
    awk '$1 < 5 || $1 > 12 { exit 1 } END { if (NR < 3) exit 1 }' || fail "host reply times"
echo "ok: monitor --raw, decode --replies, decode --check ($bad bad CRCs among $all records)"
