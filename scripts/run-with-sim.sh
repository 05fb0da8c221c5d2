#!/usr/bin/env bash
# Runs KIVO against the simulated receiver: kivo-sim registers COM1 in a private ports
# folder, KIVO finds it there through KIVO_PORTS, and the simulator prints every command
# line KIVO sends. Closing KIVO stops the simulator and removes the folder.
#
#   scripts/run-with-sim.sh BUILD_DIR [channel name]
#
# Without a display ($DISPLAY and $WAYLAND_DISPLAY unset) it stops and says so, unless
# KIVO_RUN_XVFB=1 is set: then KIVO runs under `xvfb-run -a` on an invisible screen. That
# is only good for a smoke run (the window can't be seen or closed by hand; end it with
# Ctrl-C), so it is not the default.
set -euo pipefail

if [ $# -lt 1 ]; then
  echo "usage: $0 BUILD_DIR [channel name]" >&2
  exit 2
fi
bin="$1/bin"
shift
here="$(cd "$(dirname "$0")" && pwd)"

for program in kivo kivo-sim; do
  if [ ! -x "$bin/$program" ]; then
    echo "error: $bin/$program is not built (run 'make build' first)" >&2
    exit 1
  fi
done

launcher=()
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  if [ "${KIVO_RUN_XVFB:-}" = 1 ]; then
    launcher=(xvfb-run -a)
    echo "No display: running KIVO under xvfb-run on an invisible screen (Ctrl-C ends it)."
  else
    echo "error: no display (DISPLAY and WAYLAND_DISPLAY are unset)." >&2
    echo "Run 'make run' in a graphical session, or 'KIVO_RUN_XVFB=1 make run' for a" >&2
    echo "smoke run on an invisible screen." >&2
    exit 1
  fi
fi

ports="$(mktemp -d "${TMPDIR:-/tmp}/kivo-ports.XXXXXX")"
sim_pid=""
kivo_pid=""

# Ends a process we started: TERM, up to 5 s to go, then KILL.
stop() {
  local pid="$1"
  [ -n "$pid" ] || return 0
  kill -TERM "$pid" 2>/dev/null || return 0
  for _ in $(seq 50); do
    kill -0 "$pid" 2>/dev/null || break
    sleep 0.1
  done
  kill -KILL "$pid" 2>/dev/null || true
  wait "$pid" 2>/dev/null || true
}

cleanup() {
  trap - EXIT INT TERM HUP
  stop "$kivo_pid"
  stop "$sim_pid"
  rm -rf "$ports"
}
trap cleanup EXIT
trap 'exit 130' INT
trap 'exit 143' TERM
trap 'exit 129' HUP

# The simulator runs in a session of its own: Ctrl-C reaches KIVO (and this script) only,
# so the simulated receiver still hears KIVO's closing "H100"; cleanup stops it after KIVO.
detach=()
if command -v setsid >/dev/null; then detach=(setsid); fi
KIVO_PORTS="$ports" ${detach[@]+"${detach[@]}"} "$bin/kivo-sim" --port COM1 --ports-dir "$ports" &
sim_pid=$!

# The simulator's link is the sign that it is ready (at most 5 s).
for _ in $(seq 50); do
  [ -L "$ports/COM1" ] && break
  if ! kill -0 "$sim_pid" 2>/dev/null; then
    echo "error: kivo-sim ended before registering COM1" >&2
    exit 1
  fi
  sleep 0.1
done
if [ ! -L "$ports/COM1" ]; then
  echo "error: kivo-sim did not register COM1 within 5 s" >&2
  exit 1
fi

if [ ! -e "$bin/KIVO.ini" ]; then
  cp "$here/sample-KIVO.ini" "$bin/KIVO.ini"
  echo "Put a sample channel file at $bin/KIVO.ini"
fi

# KIVO runs in the background and the script waits for it, so that an INT or TERM sent to
# the script is handled at once (the trap then ends KIVO and the simulator).
status=0
KIVO_PORTS="$ports" ${launcher[@]+"${launcher[@]}"} "$bin/kivo" "$@" &
kivo_pid=$!
wait "$kivo_pid" || status=$?
kivo_pid=""
exit "$status"
