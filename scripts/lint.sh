#!/usr/bin/env bash
# clang-format check and clang-tidy over the project's sources (needs a
# configured native build for compile_commands.json). Not part of the test
# run: it takes minutes.
set -uo pipefail
cd "$(dirname "$0")/.."
build=${1:-build/native}
[ -f "$build/compile_commands.json" ] || cmake --preset native >/dev/null
files=$(git ls-files '*.cpp' '*.h' | grep -vE '_win32\.|^tests/win/')
status=0
echo "==> clang-format"
clang-format --dry-run --Werror $files || status=1
echo "==> clang-tidy"
# shellcheck disable=SC2086
clang-tidy -p "$build" --quiet $(grep '\.cpp$' <<<"$files") 2>/dev/null | grep -E 'warning:|error:' && status=1
exit $status
