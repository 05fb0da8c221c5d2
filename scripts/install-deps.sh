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
    nsis xdotool imagemagick locales)
fi

sudo=""
if [ "$(id -u)" -ne 0 ] && command -v sudo >/dev/null 2>&1; then sudo="sudo"; fi
# Wine takes a Japanese user interface from the Japanese locale, which the Windows
# program's language test starts it in: made once, from the locale sources.
japanese_locale() {
  [ "${1:-}" = windows ] || return 0
  locale -a 2>/dev/null | grep -qi '^ja_JP\.utf-\?8$' && return 0
  echo "Making the locale ja_JP.UTF-8"
  $sudo localedef -i ja_JP -f UTF-8 ja_JP.UTF-8
}

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done
if [ ${#missing[@]} -eq 0 ]; then
  japanese_locale "${1:-}"
  exit 0
fi

echo "Installing: ${missing[*]}"
if [ "$(id -u)" -ne 0 ] && [ -z "$sudo" ]; then
  echo "error: need root (or sudo) to install: ${missing[*]}" >&2
  exit 1
fi
export DEBIAN_FRONTEND=noninteractive
# Wait for another installer holding the package lock instead of failing at once.
lock=(-o DPkg::Lock::Timeout=600)
$sudo apt-get "${lock[@]}" update -qq
$sudo apt-get "${lock[@]}" install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
japanese_locale "${1:-}"
