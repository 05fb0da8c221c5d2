#!/usr/bin/env bash
# kivo.exe's start-up to its first frame under Wine on a private Xvfb display, against a
# bare Win32 window started the same way, and both programs' resident set. The timing
# program is a Linux one (it watches the X server), built in build/.
#
#   scripts/bench-windows.sh BUILD_WINDOWS_DIR [ROUNDS]
set -euo pipefail
build=$(cd "$1" && pwd)
rounds=${2:-9}
root=$(cd "$(dirname "$0")/.." && pwd)
cmake -S "$root" -B "$root/build" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$root/build" -j2 --target kivo_wine_startup_bench >/dev/null
cmake --build "$build" -j2 --target kivo kivo_bare_window kivo_bare_window_manifest >/dev/null
ls -l "$build/bin/kivo.exe" "$build"/kivo-*-win64-setup.exe 2>/dev/null || true

KIVO_WINE_GRAPHICS=x11 xvfb-run -a -s "-screen 0 1280x1024x24" "$root/scripts/wine-prefix.sh" "$build" \
  "$root/build/bin/kivo_wine_startup_bench" "$build/bin/kivo.exe" "$build/bin/kivo_bare_window.exe" \
  "$build/bin/kivo_bare_window_manifest.exe" "$rounds"
