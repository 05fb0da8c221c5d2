#!/usr/bin/env bash
# Installs the Debian packages the build, the tests and `make run` need; with the
# argument "windows", also those of the Windows build and its tests under Wine.
# Quiet and quick when everything is already there; runs apt-get update once otherwise.
set -euo pipefail

packages=(
  g++ make cmake pkg-config clang-format python3
  clang libclang-rt-14-dev
  libgtest-dev libgmock-dev
  qt6-base-dev libgl-dev
  xvfb xauth
  dbus-daemon at-spi2-core
  libhamlib-utils
  fonts-ipafont-gothic
  desktop-file-utils appstream lintian dpkg-dev groff man-db librsvg2-bin
  libbenchmark-dev libxcb1-dev libxcb-damage0-dev
)
if [ "${1:-}" = windows ]; then
  # The cross compiler with POSIX threads (std::thread), GoogleTest's sources to build
  # with it, Wine to run the result, socat for the pseudo-terminal pairs, NSIS for the
  # installer; xdotool and ImageMagick's import for the pictures on Xvfb.
  packages+=(g++-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64 googletest wine wine64 socat
    nsis xdotool imagemagick)
fi

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing: ${missing[*]}"
sudo=""
if [ "$(id -u)" -ne 0 ]; then
  if command -v sudo >/dev/null 2>&1; then
    sudo="sudo"
  else
    echo "error: need root (or sudo) to install: ${missing[*]}" >&2
    exit 1
  fi
fi
export DEBIAN_FRONTEND=noninteractive
# Wait for another installer holding the package lock instead of failing at once.
lock=(-o DPkg::Lock::Timeout=600)
$sudo apt-get "${lock[@]}" update -qq
$sudo apt-get "${lock[@]}" install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
