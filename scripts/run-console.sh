#!/usr/bin/env bash
# Runs the console. The Windows console program is not built yet: until it
# is, this builds and starts the switcher emulator that the console will
# talk to, on a pseudo-terminal, and says how to reach it.
set -uo pipefail
cd "$(dirname "$0")/.."
. scripts/deps.sh
ensure_packages "${NATIVE_PACKAGES[@]}" || exit 1
echo "==> building switcher-emu and matrixctl (native preset)"
cmake --preset native >/dev/null && cmake --build --preset native -j "$(nproc)" \
  --target switcher-emu matrixctl >/dev/null || { echo "build failed" >&2; exit 1; }
link=${MATRIX_EMU_LINK:-/tmp/matrix-switcher}
cat <<TXT
==> The console window is not part of this build yet.
==> Starting the emulated switcher instead, on a pseudo-terminal linked at $link.
    In another terminal, try:
      build/native/cli/matrixctl status --port $link
      build/native/cli/matrixctl route 2 5 --port $link
    Ctrl-C stops the emulator.
TXT
exec build/native/emulator/switcher-emu --pty --link "$link" --model k720 "$@"
