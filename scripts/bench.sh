#!/usr/bin/env bash
# Runs the benchmarks built in BUILD_DIR and prints their tables: the per-byte transmit
# path on a pseudo-terminal, the main window's actions with long channel lists, the
# start-up to the first frame (also on a busy machine), --list-ports with one and four
# ports, and the remote control's round trip against Hamlib's rigctld. The window figures are taken under a private Xvfb.
#
#   scripts/bench.sh BUILD_DIR [ROUNDS]
set -euo pipefail

if [ $# -lt 1 ]; then
  echo "usage: $0 BUILD_DIR [ROUNDS]" >&2
  exit 2
fi
bin="$1/bin"
rounds="${2:-9}"

runtime="$(mktemp -d "${TMPDIR:-/tmp}/kivo-bench.XXXXXX")"
trap 'rm -rf "$runtime"' EXIT
chmod 700 "$runtime"
export XDG_RUNTIME_DIR="$runtime"

"$bin/kivo_txbyte_bench" --benchmark_color=false
"$bin/kivo_ports_bench" "$bin/kivo" "$rounds"

# One display for both, so that the windows meet the same server.
xvfb-run -a -s "-screen 0 1280x1024x24" bash -c '
  set -e
  QT_QPA_PLATFORM=xcb "$1/kivo_window_bench" "$2"
  "$1/kivo_startup_bench" "$1/kivo" "$1/kivo_bare_window" "$2"
  "$1/kivo_remote_bench" "$1/kivo" "$2"
' bench "$bin" "$rounds"
