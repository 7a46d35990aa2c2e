#!/usr/bin/env bash
# xltctl update --verify: passes when the device reports the file's identity after the update,
# fails (exit code 1) when the emulator keeps its old identity. Usage: test_update_verify.sh BUILD_DIR
set -euo pipefail
source "$(dirname "$0")/emulator.sh" "$1"

# An update file of 17 blocks whose identity (file offset 2160) reaches the device with block 15.
{
    printf 'XLT\0\0\x11\0'
    head -c 121 /dev/zero
    head -c 2032 /dev/zero
    printf 'PR01 01240001'
    head -c 131 /dev/zero
} >"$work/os.dpc"

start_sim --traffic quiet --image-blocks 17
out=$("$xltctl" update --yes --verify "$work/os.dpc" 2>"$work/err") ||
    fail "verify failed: $(cat "$work/err")"
grep -qx "Verified: the device reports PR01 01.24 0001" <<<"$out" || fail "no verdict in: $out"
stop_sims

start_sim --traffic quiet --image-blocks 17 --keep-identity
status=0
"$xltctl" update --yes --verify "$work/os.dpc" >/dev/null 2>"$work/err" || status=$?
[ "$status" -eq 1 ] || fail "a kept identity ended with $status"
grep -q "reports PR01 01.23 0001 after the update, not the file's PR01 01.24 0001" "$work/err" ||
    fail "stderr: $(cat "$work/err")"
# Without --verify the same update counts as done.
"$xltctl" update --yes "$work/os.dpc" >/dev/null 2>&1 || fail "update without --verify"
echo "ok: update --verify"
