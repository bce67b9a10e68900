#!/usr/bin/env bash
# Runs the Windows test executable under Wine.
#
#   bash scripts/wine-tests.sh WINDOWS_BUILD_DIR [NATIVE_BUILD_DIR]
#
# Keeps a private Wine prefix in the Windows build dir (booted on the first
# run), maps COM5 and COM12 onto pseudo-terminals with a switcher stand-in
# behind each, runs win_tests.exe (under xvfb-run when it is installed, since
# dialog tests need a display) and tears everything down again. Exits non-zero
# on any failure. Every step has a time limit: the script never waits for
# ever, needs no terminal and no standard input, and works as root.
#
# How Wine maps a COM port: the value COMn = /dev/pts/N under
# HKLM\Software\Wine\Ports is read by mountmgr when the Wine server (and with
# it the device services) starts; mountmgr then creates dosdevices/comn and the
# SERIALCOMM value. Adding the value to a running server changes nothing, so
# the values are written first, that server is let go, and a fresh one starts.
#
# The peers are the project's switcher-emu from NATIVE_BUILD_DIR, so that the
# Win32 port talks to the same emulated switcher as every other test; without
# a native build, tests/win/pty_peer.py stands in (it answers the status
# query). NATIVE_BUILD_DIR is also passed to the tests as MC_NATIVE_BUILD_DIR.
#
# Environment: MC_WINE_TEST_TIMEOUT (seconds for win_tests.exe, default 300),
# MC_WINE_FRESH_PREFIX=1 (boot a new prefix), GTEST_FILTER and other GTEST_*
# variables pass through.
set -u -o pipefail

usage() {
  echo "usage: $0 WINDOWS_BUILD_DIR [NATIVE_BUILD_DIR]" >&2
  exit 2
}
[ $# -ge 1 ] && [ $# -le 2 ] || usage

here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
root=$(cd "$here/.." && pwd)
win_dir=$(cd "$1" 2>/dev/null && pwd) || { echo "wine-tests: no build dir $1" >&2; exit 2; }
native_dir=""
if [ $# -eq 2 ]; then native_dir=$(cd "$2" 2>/dev/null && pwd) || native_dir=""; fi

exe="$win_dir/tests/win/win_tests.exe"
peer="$root/tests/win/pty_peer.py"
test_timeout=${MC_WINE_TEST_TIMEOUT:-300}
low_com=5
high_com=12

log() { echo "wine-tests: $*" >&2; }
fail() {
  log "$*"
  exit 1
}

[ -f "$exe" ] || fail "$exe not built (cmake --build $win_dir --target win_tests)"
for tool in wineserver timeout python3 flock; do
  command -v "$tool" >/dev/null || fail "$tool not found"
done
# Debian's wine wrapper prints a note about the missing 32-bit Wine on every
# call; the 64-bit loader behind it does the same work quietly.
wine=$(command -v wine64 || true)
[ -n "$wine" ] || { [ -x /usr/lib/wine/wine64 ] && wine=/usr/lib/wine/wine64; }
[ -n "$wine" ] || wine=$(command -v wine) || fail "wine not found"

export WINEPREFIX="$win_dir/wine-prefix"
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
export WINEDEBUG="${WINEDEBUG:-fixme-all}"
export WINEARCH=win64

# One run at a time per prefix; a second run waits for the first.
exec 9>"$win_dir/wine-prefix.lock"
flock -w 900 9 || fail "another run holds $win_dir/wine-prefix.lock"

peer_pids=()
work=$(mktemp -d "${TMPDIR:-/tmp}/wine-tests.XXXXXX") || fail "no temporary directory"

stop_server() { timeout 30 wineserver -k >/dev/null 2>&1 || true; }
cleanup() {
  local pid
  for pid in "${peer_pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  for pid in "${peer_pids[@]}"; do
    timeout 5 tail --pid="$pid" -f /dev/null 2>/dev/null || kill -9 "$pid" 2>/dev/null || true
  done
  stop_server
  rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 130' INT TERM HUP

# A Wine command with a time limit, no input, and its noise kept in the log.
run_wine() {
  local limit=$1
  shift
  timeout -k 5 "$limit" "$wine" "$@" </dev/null >>"$work/wine.log" 2>&1
}

# A server left over from a run that was killed would keep the old mapping.
stop_server

if [ "${MC_WINE_FRESH_PREFIX:-0}" = 1 ] || [ ! -f "$WINEPREFIX/.mc-booted" ]; then
  log "booting a Wine prefix in $WINEPREFIX"
  rm -rf "$WINEPREFIX"
  mkdir -p "$WINEPREFIX"
  run_wine 180 wineboot --init || { cat "$work/wine.log" >&2; fail "wineboot --init failed"; }
  timeout 60 wineserver -w || fail "the Wine server did not finish booting"
  touch "$WINEPREFIX/.mc-booted"
fi

# Peers: each prints its slave path on its first line. Sets peer_path.
peer_path=""
emu=""
if [ -n "$native_dir" ] && [ -x "$native_dir/emulator/switcher-emu" ]; then
  emu="$native_dir/emulator/switcher-emu"
  log "peers: $emu"
else
  log "peers: $peer (no native switcher-emu)"
fi
start_peer() {
  local name=$1 out="$work/$1.path" i
  if [ -n "$emu" ]; then
    timeout $((test_timeout + 300)) "$emu" --pty >"$out" 2>"$work/$name.err" </dev/null &
  else
    python3 "$peer" --lifetime $((test_timeout + 300)) >"$out" 2>"$work/$name.err" </dev/null &
  fi
  peer_pids+=($!)
  for i in $(seq 50); do
    if [ -s "$out" ]; then
      # The stand-in prints the path; switcher-emu "switcher-emu: MODEL on PATH".
      peer_path=$(head -n 1 "$out" | awk '{print $NF}')
      return 0
    fi
    sleep 0.1
  done
  cat "$work/$name.err" >&2
  return 1
}
start_peer low || fail "the peer for COM$low_com did not start"
low_pty=$peer_path
start_peer high || fail "the peer for COM$high_com did not start"
high_pty=$peer_path
log "COM$low_com = $low_pty, COM$high_com = $high_pty"

ports_key='HKLM\Software\Wine\Ports'
run_wine 60 reg delete "$ports_key" /f || true  # absent on a new prefix
run_wine 60 reg add "$ports_key" /v "COM$low_com" /t REG_SZ /d "$low_pty" /f &&
  run_wine 60 reg add "$ports_key" /v "COM$high_com" /t REG_SZ /d "$high_pty" /f ||
  { cat "$work/wine.log" >&2; fail "cannot write $ports_key"; }
# Let that server end, so that the next one starts mountmgr on the new values.
timeout 60 wineserver -w || stop_server

# A server that outlives each test process, so that they start quickly; it
# ends by itself a minute after the last one should this script be killed.
# Its output (it dumps its objects when told to stop) goes to the log.
timeout 30 wineserver -p60 </dev/null >>"$work/wine.log" 2>&1 || fail "cannot start the Wine server"
timeout -k 5 60 "$wine" reg query 'HKLM\HARDWARE\DEVICEMAP\SERIALCOMM' </dev/null \
  >"$work/serialcomm.txt" 2>>"$work/wine.log" || true
for com in "COM$low_com" "COM$high_com"; do
  grep -qw "$com" "$work/serialcomm.txt" ||
    { cat "$work/serialcomm.txt" "$work/wine.log" >&2; fail "Wine did not map $com"; }
done

runner=()
if command -v xvfb-run >/dev/null; then
  runner=(xvfb-run -a -s "-screen 0 1024x768x24 -nolisten tcp")
else
  log "xvfb-run not found: running without a display"
fi

log "running $exe"
MC_WIN_PEER_COM=$low_com MC_WIN_PEER_COM_HIGH=$high_com MC_NATIVE_BUILD_DIR="$native_dir" \
  timeout -k 10 "$test_timeout" "${runner[@]}" "$wine" "$exe" </dev/null
rc=$?
if [ $rc -eq 124 ] || [ $rc -eq 137 ]; then
  log "win_tests.exe did not finish within ${test_timeout}s"
elif [ $rc -ne 0 ]; then
  log "win_tests.exe failed (exit $rc)"
fi
exit $rc
