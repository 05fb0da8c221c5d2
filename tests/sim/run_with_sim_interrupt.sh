#!/usr/bin/env bash
# `make run` ended with Ctrl-C (SIGINT to the whole foreground process group) while the
# receiver is on: the program's closing "H100" must still reach the simulated receiver,
# so the simulator has to outlive the program.
#
#   run_with_sim_interrupt.sh SOURCE_DIR BIN_DIR   (needs a display: run under xvfb-run)
set -euo pipefail
src="$1"
bin="$2"

work="$(mktemp -d)"
group=""
cleanup() {
  [ -n "$group" ] && kill -TERM -- "-$group" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

# Copies, so that the sample channel file lands beside them and not in the build; a
# private runtime folder, so that no other copy of the program is found or closed.
mkdir -p "$work/build/bin" "$work/runtime"
chmod 700 "$work/runtime"
cp "$bin/kivo" "$bin/kivo-sim" "$work/build/bin/"
export XDG_RUNTIME_DIR="$work/runtime"
# The lock the program takes on its port goes to a private folder, where it can be seen.
mkdir -p "$work/locks"
export KIVO_LOCK_DIR="$work/locks"
out="$work/out"

# The script leads a process group of its own, as a shell job in a terminal would.
setsid "$src/scripts/run-with-sim.sh" "$work/build" Radio1 >"$out" 2>&1 </dev/null &
group=$!

for _ in $(seq 300); do
  grep -q '"J4050"' "$out" && break   # on and tuned: the sample's Radio1 has volume 80 (hex 50)
  kill -0 "$group" 2>/dev/null || break
  sleep 0.1
done
if ! grep -q '"J4050"' "$out"; then
  cat "$out"
  echo "FAIL: the program did not switch on within 30 s"
  exit 1
fi

# KIVO takes the interrupt from the moment its start-up has finished (before that the
# signal's inherited disposition applies): wait until it catches SIGINT.
catches_int() {
  local pid mask
  pid="$(pgrep -f "^$work/build/bin/kivo Radio1" | head -n1)" || return 1
  mask="$(awk '/^SigCgt:/ {print $2}' "/proc/$pid/status" 2>/dev/null)" || return 1
  [ -n "$mask" ] && (( (16#$mask >> 1) & 1 ))
}
for _ in $(seq 300); do
  catches_int && break
  sleep 0.1
done

if ! ls "$work/locks"/LCK..* >/dev/null 2>&1; then
  echo "FAIL: the program holds its port without a lock file"
  exit 1
fi

kill -INT -- "-$group"
for _ in $(seq 300); do
  kill -0 "$group" 2>/dev/null || break
  sleep 0.1
done
if kill -0 "$group" 2>/dev/null; then
  cat "$out"
  echo "FAIL: still running 30 s after the interrupt"
  exit 1
fi
group=""

cat "$out"
if ! grep -q '"H100"' "$out"; then
  echo "FAIL: the simulated receiver never heard the closing H100"
  exit 1
fi
if ls "$work/locks"/LCK..* >/dev/null 2>&1; then
  echo "FAIL: the lock file outlived the program"
  exit 1
fi
if pgrep -f "$work/build/bin/" >/dev/null; then
  echo "FAIL: a process of the run is left behind"
  exit 1
fi
echo "ok"
