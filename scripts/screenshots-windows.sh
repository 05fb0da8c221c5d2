#!/usr/bin/env bash
# The README's Windows pictures: kivo.exe under Wine on a private Xvfb display (Wine
# draws the frames itself, the IPA font stands in for the Japanese face), switched on
# with a channel from the command line on COM1, a pseudo-terminal; the main window and
# the S mode strip saved as PNG files.
#
#   scripts/screenshots-windows.sh BUILD_DIR OUT_DIR
set -euo pipefail
if [ $# -ne 2 ]; then
  echo "usage: $0 BUILD_DIR OUT_DIR" >&2
  exit 2
fi
build=$(cd "$1" && pwd)
out=$(mkdir -p "$2" && cd "$2" && pwd)
here=$(cd "$(dirname "$0")" && pwd)

work=$(mktemp -d "$build/shots.XXXXXX")
trap 'rm -rf "$work"' EXIT
cp "$build/bin/kivo.exe" "$here/sample-KIVO.ini" "$work/"
mv "$work/sample-KIVO.ini" "$work/KIVO.ini"

# On a display nobody uses.
KIVO_WINE_GRAPHICS=x11 xvfb-run -a -s "-screen 0 800x700x24" \
  "$here/wine-prefix.sh" "$build" bash -c '
  set -euo pipefail
  work=$1 out=$2
  shown() {  # the visible X window titled "kivo"
    for _ in $(seq 100); do
      id=$(xdotool search --onlyvisible --name "^kivo\$" 2>/dev/null | head -1 || true)
      [ -n "$id" ] && { echo "$id"; return; }
      sleep 0.1
    done
    echo "error: no window of kivo.exe came up" >&2
    exit 1
  }
  # The pointer out of the way: resting on a control it would raise its tooltip.
  xdotool mousemove 0 0
  (cd "$work" && exec wine kivo.exe Music_FM </dev/null >/dev/null 2>&1) &
  copy=$!
  main=$(shown)
  sleep 2  # drawn, and the channel tuned
  import -window "$main" "$out/windows-main.png"
  # "S mode" (256,8 73x25 in the client area, which Wine draws +3,+22 inside its frame).
  xdotool mousemove --window "$main" 295 42 click 1
  sleep 1
  strip=$(shown)
  [ "$strip" != "$main" ] || { echo "error: the strip did not come up" >&2; exit 1; }
  import -window "$strip" "$out/windows-smode.png"
  # A second start closes the first.
  (cd "$work" && wine kivo.exe </dev/null >/dev/null 2>&1)
  wait "$copy"
' bash "$work" "$out"
ls -l "$out/windows-main.png" "$out/windows-smode.png"
