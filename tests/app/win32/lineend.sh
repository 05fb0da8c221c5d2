# What the program tests share: the far end of COM1 read into a file from the start, the
# line checked against what it must have carried, processes waited for with a bound.
# Sourced with `work` (a folder of the test's) and `ports` set; `pids` collects what to stop.

line="$work/line"
: >"$line"
# A Windows program that had the far end open may have left it returning at once from an
# empty read (which cat takes for the end): raw, and waiting for a byte again.
stty -F "$ports/COM11" raw -echo min 1 time 0
cat "$ports/COM11" >>"$line" &
pids+=($!)

fail() { echo "FAIL: $*" >&2; exit 1; }

shown() { printf '%b' "$1" | od -An -c | tr -s ' \n' ' '; }

# Waits, at most 20 s, until the line has carried exactly `expected` since the last call.
seen=0
expect_line() {
  local want got=""
  want=$(shown "$1")
  for _ in $(seq 200); do
    got=$(tail -c +$((seen + 1)) "$line" | od -An -c | tr -s ' \n' ' ')
    [ "$got" = "$want" ] && break
    sleep 0.1
  done
  [ "$got" = "$want" ] || fail "the line carried [$got], not [$want]"
  seen=$(stat -c %s "$line")
}

# Waits, at most 20 s, for a process to end; its exit status.
wait_end() {
  local pid=$1
  for _ in $(seq 200); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
  kill -0 "$pid" 2>/dev/null && fail "process $pid did not end"
  wait "$pid"
}
