#!/usr/bin/env bash
# Takes the README's screenshots: KIVO under Xvfb on the simulated receiver with the
# sample channel file, switched on with a channel from the command line; saves the main
# window and the S mode strip as PNG files: main.png and smode.png as they are, then
# main-dark.png and smode-dark.png on a dark desktop, and main-200.png and smode-200.png
# at 200 % scaling.
#
#   scripts/screenshots.sh BUILD_DIR OUT_DIR
set -euo pipefail

if [ $# -ne 2 ]; then
  echo "usage: $0 BUILD_DIR OUT_DIR" >&2
  exit 2
fi
bin="$1/bin"
out="$(mkdir -p "$2" && cd "$2" && pwd)"
here="$(cd "$(dirname "$0")" && pwd)"

work="$(mktemp -d "${TMPDIR:-/tmp}/kivo-shots.XXXXXX")"
sim_pid=""
cleanup() {
  if [ -n "$sim_pid" ]; then
    kill -TERM "$sim_pid" 2>/dev/null || true
    wait "$sim_pid" 2>/dev/null || true
  fi
  rm -rf "$work"
}
trap cleanup EXIT

mkdir -p "$work/ports" "$work/program" "$work/runtime"
chmod 700 "$work/runtime"
cp "$bin/kivo" "$work/program/kivo"
cp "$here/sample-KIVO.ini" "$work/program/KIVO.ini"

"$bin/kivo-sim" --port COM1 --ports-dir "$work/ports" >/dev/null &
sim_pid=$!
for _ in $(seq 50); do
  [ -L "$work/ports/COM1" ] && break
  sleep 0.1
done

# The program saves the pictures and closes by itself; the bound is only a safety net.
shoot() {  # a name to add to the pictures' names, then settings for the program
  local name="$1"
  shift
  env "$@" KIVO_PORTS="$work/ports" XDG_RUNTIME_DIR="$work/runtime" KIVO_SCREENSHOTS="$out" \
    KIVO_SCREENSHOTS_NAME="$name" \
    timeout 60 xvfb-run -a -s "-screen 0 1280x1280x24" "$work/program/kivo" Music_FM
  ls -l "$out/main$name.png" "$out/smode$name.png"
}
shoot ""
shoot -dark KIVO_SCREENSHOTS_PALETTE=dark
shoot -200 QT_SCALE_FACTOR=2
