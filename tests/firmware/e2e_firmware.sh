#!/usr/bin/env bash
# matrixctl firmware hdbt and db against switcher-emu on a pseudo-terminal,
# in real time. Usage: e2e_firmware.sh BUILD_DIR
set -u
build=${1:?usage: e2e_firmware.sh BUILD_DIR}
emu=$build/emulator/switcher-emu
ctl=$build/cli/matrixctl
for exe in "$emu" "$ctl"; do
  if [ ! -x "$exe" ]; then
    echo "SKIP: $exe is not built"
    exit 77
  fi
done

work=$(mktemp -d)
emu_pid=
cleanup() {
  [ -n "$emu_pid" ] && kill "$emu_pid" 2>/dev/null && wait "$emu_pid" 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT
# The board's name rules look at the whole path: work under relative names.
cd "$work" || exit 1

# One Intel HEX data record: hexrec OFFSET BYTE...
hexrec() {
  local off=$1 s sum b
  shift
  sum=$(($# + (off >> 8) + (off & 255)))
  s=$(printf ':%02X%04X00' $# "$off")
  for b; do
    s+=$(printf '%02X' "$b")
    sum=$((sum + b))
  done
  printf '%s%02X\r\n' "$s" $(((256 - sum % 256) % 256))
}

# HDBaseT: 1000 bytes in 16-byte records.
hdbt=720-470-TX-GRDX_e2e.hex
: >"$hdbt"
for ((off = 0; off < 1000; off += 16)); do
  n=$((1000 - off < 16 ? 1000 - off : 16))
  bytes=()
  for ((i = 0; i < n; i++)); do bytes+=($(((off + i) * 7 % 251))); done
  hexrec "$off" "${bytes[@]}" >>"$hdbt"
done
printf ':00000001FF\r\n' >>"$hdbt"

# A larger HDBaseT image (160 blocks, some seconds) to interrupt.
big=720-470-TX-GRDX_big.hex
: >"$big"
rec16=$(for ((i = 0; i < 16; i++)); do printf '%d ' $(((i * 29 + 3) & 255)); done)
for ((off = 0; off < 20480; off += 16)); do
  # shellcheck disable=SC2086
  hexrec "$off" $rec16 >>"$big"
done
printf ':00000001FF\r\n' >>"$big"

# Main board: a raw 5000-byte image (its first byte is not ':').
main=K700-K720.8x8.e2e.img
for ((i = 0; i < 5000; i++)); do printf "\\x$(printf %02x $(((i * 53 + 1) & 255)))"; done >"$main"

# DB: a raw 300-byte image.
db=K700-K720-DB.8x8.e2e.bin
for ((i = 0; i < 300; i++)); do printf "\\x$(printf %02x $(((i * 37 + 11) & 255)))"; done >"$db"

"$emu" --pty --link "$work/tty" >emu.log 2>&1 &
emu_pid=$!
for ((i = 0; i < 50; i++)); do
  [ -e "$work/tty" ] && break
  sleep 0.1
done
if [ ! -e "$work/tty" ]; then
  echo "FAIL: switcher-emu made no pseudo-terminal"
  cat emu.log
  exit 1
fi

failed=0
run() {
  local board=$1 file=$2 out rc
  out=$(timeout 120 "$ctl" firmware "$board" --port "$work/tty" "$file" 2>&1)
  rc=$?
  if [ $rc -ne 0 ] || ! grep -q '^Complete!$' <<<"$out"; then
    echo "FAIL: matrixctl firmware $board (exit $rc)"
    echo "$out"
    failed=1
  else
    echo "ok: matrixctl firmware $board"
  fi
}
run hdbt "$hdbt"
run db "$db"

# Ctrl-C is the Abort button: the HDBaseT loader ends with its failure text.
timeout 60 "$ctl" firmware hdbt --port "$work/tty" "$big" >big.out 2>&1 &
ctl_pid=$!
sleep 2
kill -INT "$ctl_pid"
wait "$ctl_pid"
rc=$?
if [ $rc -ne 1 ] || ! grep -q '^Fail to write flash!$' big.out; then
  echo "FAIL: Ctrl-C did not abort the HDBaseT update (exit $rc)"
  cat big.out
  failed=1
else
  echo "ok: Ctrl-C aborts"
fi

# Main board: the emulator power-cycles into the bootloader on SIGUSR1 (a
# pseudo-terminal carries no break); the prompt gets its Enter afterwards.
{
  sleep 1
  kill -USR1 "$emu_pid"
  sleep 0.5
  echo
} | timeout 120 "$ctl" firmware main --port "$work/tty" "$main" >main.out 2>&1
rc=$?
if [ $rc -ne 0 ] || ! grep -q '^Complete!$' main.out; then
  echo "FAIL: matrixctl firmware main (exit $rc)"
  cat main.out
  failed=1
else
  echo "ok: matrixctl firmware main"
fi

# Bad arguments: usage, exit 2.
"$ctl" firmware flash --port "$work/tty" "$db" 2>/dev/null
if [ $? -ne 2 ]; then
  echo "FAIL: bad board name did not exit 2"
  failed=1
fi
[ $failed -eq 0 ] || cat emu.log
exit $failed
