# Sourced by the project's scripts: installs the Debian packages that are
# missing. Usage: ensure_packages PKG...
ensure_packages() {
  local missing=()
  local p
  for p in "$@"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  echo "==> installing ${missing[*]}"
  local sudo=""
  if [ "$(id -u)" -ne 0 ]; then
    command -v sudo >/dev/null || { echo "need root to install: ${missing[*]}" >&2; return 1; }
    sudo="sudo"
  fi
  export DEBIAN_FRONTEND=noninteractive
  $sudo apt-get update -qq || return 1
  $sudo apt-get install -y -q "${missing[@]}" || return 1
}

# What the native build needs.
NATIVE_PACKAGES=(cmake ninja-build g++ googletest libbenchmark-dev python3)
# Sanitizers and libFuzzer.
SANITIZE_PACKAGES=(clang libclang-rt-14-dev)
# The Windows build and its tests under Wine; srecord for the HEX reference.
WINDOWS_PACKAGES=(g++-mingw-w64-x86-64-posix wine64 wine xvfb xauth)
TOOL_PACKAGES=(srecord)
