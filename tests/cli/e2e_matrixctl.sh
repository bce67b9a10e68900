#!/usr/bin/env bash
# matrixctl against a running switcher-emu on a pseudo-terminal and on TCP:
# what a person and a script read, and the exit codes.
# Usage: e2e_matrixctl.sh BUILD_DIR
set -u
build=${1:?build dir}
emu="$build/emulator/switcher-emu"
ctl="$build/cli/matrixctl"
work=$(mktemp -d)
pids=()
cleanup() {
  for p in "${pids[@]}"; do kill "$p" 2>/dev/null; done
  wait 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT
failures=0
check() {  # check NAME CONDITION...
  local name=$1
  shift
  if "$@"; then echo "ok   $name"; else echo "FAIL $name"; failures=$((failures + 1)); fi
}
start_emu() {  # start_emu LINK ARGS... : waits until the link exists
  local link=$1
  shift
  "$emu" --pty --link "$link" "$@" >"$work/emu.$$.$RANDOM.log" 2>&1 &
  pids+=($!)
  for _ in $(seq 50); do [ -e "$link" ] && return 0; sleep 0.1; done
  echo "switcher-emu did not start"; return 1
}

start_emu "$work/tty1" --model k720 --power 2 --inputs 1,0,0,1,0,0,0,0 --route 8,7,6,5,4,3,2,1
out=$(timeout 20 "$ctl" status --port "$work/tty1"); rc=$?
check "status exits 0" test $rc -eq 0
check "status names the model" grep -q '^Model: K720 8x8$' <<<"$out"
check "status shows power" grep -q '^Power: standby (2)$' <<<"$out"
check "status shows routing" grep -Eq '^ +1 +8 +on$' <<<"$out"
check "status shows input flags" grep -q 'Input signal: 1:yes 2:no 3:no 4:yes' <<<"$out"

timeout 20 "$ctl" route 3 5 --port "$work/tty1" >/dev/null; rc=$?
check "route exits 0" test $rc -eq 0
json=$(timeout 20 "$ctl" status --json --port "$work/tty1")
check "json is JSON" python3 -c 'import json,sys; json.loads(sys.argv[1])' "$json"
check "json shows the new route" python3 -c '
import json, sys
s = json.loads(sys.argv[1])
assert s["model"] == "K720 8x8" and s["modelCode"] == 2 and s["power"] == 2
assert s["outputs"][2] == {"output": 3, "input": 5, "off": False}
assert [i["signal"] for i in s["inputs"]][:4] == [True, False, False, True]' "$json"
timeout 20 "$ctl" power off --port "$work/tty1" >/dev/null; rc=$?
check "power off exits 0" test $rc -eq 0
check "power is off" grep -q '"power": 0' <<<"$(timeout 20 "$ctl" status --json --port "$work/tty1")"

# A silent switcher: one line naming what failed, exit code 1.
start_emu "$work/tty2" --fault silence
err=$(timeout 30 "$ctl" status --port "$work/tty2" 2>&1 >/dev/null); rc=$?
check "silent switcher exits 1" test $rc -eq 1
check "silent switcher gives one line" test "$(wc -l <<<"$err")" -eq 1
check "the line says what failed" grep -q 'no valid status reply' <<<"$err"
start_emu "$work/tty3" --fault wrong-ack@02
err=$(timeout 30 "$ctl" route 1 2 --port "$work/tty3" 2>&1 >/dev/null); rc=$?
check "refused route exits 1" test $rc -eq 1
check "refused route says so" grep -q 'did not acknowledge the route' <<<"$err"
timeout 10 "$ctl" status --port "$work/nothing-here" 2>/dev/null; rc=$?
check "missing port exits 1" test $rc -eq 1

# Bad arguments: usage on stderr, exit code 2.
for args in "" "status" "route 9 1 --port x" "route 1 --port x" "power maybe --port x" \
            "status --port a --host b" "frobnicate" "status --bogus --port x"; do
  # shellcheck disable=SC2086
  err=$("$ctl" $args 2>&1 >/dev/null); rc=$?
  check "bad arguments '$args' exit 2" test $rc -eq 2
  check "bad arguments '$args' print usage" grep -q 'usage:' <<<"$err"
done

# TCP on loopback.
"$emu" --tcp 127.0.0.1:0 --model k720-6x4 >"$work/tcp.log" 2>&1 &
pids+=($!)
for _ in $(seq 50); do grep -q listening "$work/tcp.log" && break; sleep 0.1; done
addr=$(awk '{print $NF}' "$work/tcp.log" | head -1)
out=$(timeout 20 "$ctl" status --host "$addr"); rc=$?
check "tcp status exits 0" test $rc -eq 0
check "tcp status names the model" grep -q '^Model: K720 6x4+2$' <<<"$out"
timeout 20 "$ctl" power off --host "$addr" >/dev/null; rc=$?
check "tcp power exits 0" test $rc -eq 0

if [ $failures -ne 0 ]; then echo "$failures check(s) failed"; exit 1; fi
echo "all matrixctl checks passed"
