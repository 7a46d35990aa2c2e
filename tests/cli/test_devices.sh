#!/usr/bin/env bash
# xltctl with two emulated devices attached at once: both are listed (as text and as JSON, with
# their device nodes and serial numbers, one given, one the emulator's default),
# --port and --device reach each of them, --json output parses back, and the exit codes for
# bad usage and for no device. Usage: test_devices.sh BUILD_DIR
set -euo pipefail
source "$(dirname "$0")/emulator.sh" "$1"
needs_python3

start_sim --traffic quiet --identity "PR01 01230001" --serial SN-A1
com_a=$sim_com node_a=$sim_node
start_sim --traffic quiet --identity "PR01 04560002"
com_b=$sim_com node_b=$sim_node
[ -n "$com_a" ] && [ -n "$com_b" ] && [ "$com_a" != "$com_b" ] || fail "two emulators did not start"

out=$("$xltctl" ports)
grep -qx "XLT device: $com_a" <<<"$out" || fail "ports: no $com_a in: $out"
grep -qx "XLT device: $com_b" <<<"$out" || fail "ports: no $com_b in: $out"
grep -qx "$com_a (BV)  $node_a  serial SN-A1" <<<"$out" || fail "ports: no node, serial: $out"

"$xltctl" ports --json | python3 -c '
import json, sys
ports = {p["com"]: p for p in json.load(sys.stdin)}
for com, node, serial in ((sys.argv[1], sys.argv[2], "SN-A1"),
                          (sys.argv[3], sys.argv[4], "XLTSIM" + sys.argv[3][3:])):
    p = ports[com]
    assert p["device"] == node and p["xlt"] is True and isinstance(p["name"], str), p
    assert p["serial"] == serial, p
' "$com_a" "$node_a" "$com_b" "$node_b" || fail "ports --json"

[ "$("$xltctl" identity --port "$com_a")" = "PR01 01230001" ] || fail "identity --port $com_a"
[ "$("$xltctl" identity --port "${com_b,,}")" = "PR01 04560002" ] || fail "identity --port ${com_b,,}"
[ "$("$xltctl" identity --device="$node_a")" = "PR01 01230001" ] || fail "identity --device"
"$xltctl" identity --json --port "$com_b" | python3 -c '
import json, sys
d = json.load(sys.stdin)
assert d == {"identity": "PR01 04560002", "interface": "PR01", "firmware": "0456",
             "mod": "0002"}, d
' || fail "identity --json"
"$xltctl" ports --port "$com_b" | grep -q "^$com_a" && fail "ports --port lists other ports"

# Exit codes: 2 bad usage, 3 no device at the chosen port.
status=0
"$xltctl" identity --bogus >/dev/null 2>&1 || status=$?
[ "$status" -eq 2 ] || fail "bad usage ended with $status"
status=0
"$xltctl" identity --port COM99 >/dev/null 2>"$work/err" || status=$?
[ "$status" -eq 3 ] || fail "no device ended with $status: $(cat "$work/err")"
grep -qx "xltctl: no port COM99; the ports are $com_a ($node_a), $com_b ($node_b).*" "$work/err" ||
    fail "no port COM99 told as: $(cat "$work/err")"
status=0
"$xltctl" identity --port >/dev/null 2>&1 || status=$?
[ "$status" -eq 2 ] || fail "--port without a value ended with $status"
echo "ok: two devices, --port, --device, --json, exit codes"
