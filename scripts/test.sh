#!/usr/bin/env bash
# Builds everything and runs every test: native (g++), sanitizers and
# fuzzers (clang), Windows (MinGW-w64, under Wine). Installs what a fresh
# Debian 12 machine lacks. Exits non-zero on any failure.
#
#   scripts/test.sh                 everything
#   FUZZ_RUNS=N scripts/test.sh     iterations per fuzz target (default 200000)
set -uo pipefail
cd "$(dirname "$0")/.."
. scripts/deps.sh

ensure_packages "${NATIVE_PACKAGES[@]}" "${SANITIZE_PACKAGES[@]}" "${WINDOWS_PACKAGES[@]}" \
  "${TOOL_PACKAGES[@]}" || { echo "cannot install the build dependencies" >&2; exit 1; }

jobs=${JOBS:-$(nproc)}
failed=()
step() {  # step NAME COMMAND...
  local name=$1
  shift
  echo "==> $name"
  if ! "$@"; then
    echo "==> FAILED: $name"
    failed+=("$name")
    return 1
  fi
}

build() {  # build PRESET
  cmake --preset "$1" >/dev/null && cmake --build --preset "$1" -j "$jobs"
}

run_fuzzers() {
  local runs=${FUZZ_RUNS:-200000}
  local f name seeds corpus
  for f in build/sanitize/fuzz/*_fuzz; do
    [ -x "$f" ] || continue
    name=$(basename "$f")
    corpus=$(mktemp -d)
    seeds=()
    if [ -f "fuzz/$name.seeds" ]; then
      while IFS= read -r d; do
        [ -n "$d" ] && [ -d "$d" ] && seeds+=("$d")
      done <"fuzz/$name.seeds"
    fi
    echo "--- $name: $runs runs, seeds: ${seeds[*]:-none}"
    # New inputs go to the scratch corpus (first directory); the seed
    # directories are only read.
    if ! "$f" -runs="$runs" -max_total_time=120 -print_final_stats=0 "$corpus" "${seeds[@]}" \
        >"$corpus.log" 2>&1; then
      tail -n 40 "$corpus.log"
      rm -rf "$corpus" "$corpus.log"
      return 1
    fi
    tail -n 1 "$corpus.log"
    rm -rf "$corpus" "$corpus.log"
  done
}

step "native build" build native && step "native tests" ctest --preset native -j "$jobs"
step "sanitize build" build sanitize &&
  step "sanitize tests" ctest --preset sanitize -j "$jobs" &&
  step "fuzzing" run_fuzzers
step "windows build" build windows &&
  step "windows tests (Wine)" bash scripts/wine-tests.sh build/windows build/native

if [ ${#failed[@]} -ne 0 ]; then
  echo "FAILED: ${failed[*]}"
  exit 1
fi
echo "all builds and tests passed"
