#!/usr/bin/env bash
# kivo.exe itself under Wine, run the way a user runs it: a second start closes the first
# through its window (with and without a channel), the remote control answers the real
# Hamlib client, and the commands reach COM1, a pseudo-terminal whose far end (COM11)
# this script reads. Run by ctest inside scripts/wine-prefix.sh.
# Usage: program_test.sh KIVO.EXE WHICH   (WHICH: single-copy, remote, list-ports)
set -euo pipefail
exe=$1
which=$2
ports="$WINEPREFIX/../ports"
work=$(mktemp -d "$WINEPREFIX/../program-test.XXXXXX")
pids=()
cleanup() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  rm -rf "$work"
}
trap cleanup EXIT
cp "$exe" "$work/kivo.exe"
# Radio10 first: the channel Radio1 must not pick it.
printf 'Radio10,FM,80.7,120,COM1\r\nRadio1,AM,954,80,COM1\r\n' >"$work/KIVO.ini"

. "$(dirname "$0")/lineend.sh"
start() { (cd "$work" && exec wine kivo.exe "$@" </dev/null >/dev/null 2>&1) & last=$!; pids+=($last); }

on_radio1='H101\r\nJ4000\r\nJ4101\r\nK00000954000020100\r\nK00000954000020100\r\nJ4050\r\n'
case "$which" in
single-copy)
  # A quoted name with blanks around it is the same channel.
  start '  Radio1 '
  first=$last
  expect_line "$on_radio1"
  # With a channel: the running copy closes (receiver off), the new one takes over.
  start Radio10
  second=$last
  expect_line 'H100\r\n'
  wait_end "$first" || fail "the first copy ended with status $?"
  expect_line 'H101\r\nJ4000\r\nJ4101\r\nK00080700000060400\r\nK00080700000060400\r\nJ4078\r\nJ4078\r\n'
  # Without one: the running copy closes and the new start ends too, showing nothing.
  start
  third=$last
  expect_line 'H100\r\n'
  wait_end "$second" || fail "the second copy ended with status $?"
  wait_end "$third" || fail "the closing start ended with status $?"
  ;;
remote)
  port=$((20000 + $$ % 20000))
  start --remote=127.0.0.1:$port Radio1
  copy=$last
  expect_line "$on_radio1"
  out=""
  for _ in $(seq 100); do
    out=$(rigctl -m 2 -r 127.0.0.1:$port set_cache 0 F 594000 f L AF 0.5 l AF 2>/dev/null) && [ -n "$out" ] && break
    sleep 0.2
  done
  expect_line 'K00000594000020100\r\nJ4080\r\n'
  [ "$(printf '%s\n' "$out" | head -1)" = 594000 ] || fail "rigctl read [$out]"
  [ "$(printf '%s\n' "$out" | sed -n 2p)" = 0.501961 ] || fail "rigctl read [$out]"
  rigctl -m 2 -r 127.0.0.1:$port set_powerstat 0 >/dev/null 2>&1
  expect_line 'H100\r\n'
  start
  wait_end "$copy"
  wait_end "$last"
  ;;
list-ports)
  listed=$(cd "$work" && wine kivo.exe --list-ports </dev/null 2>/dev/null | tr -d '\r')
  printf '%s\n' "$listed" | grep -qx '  COM1.*  opens now' || fail "--list-ports said: $listed"
  help=$(cd "$work" && wine kivo.exe --help </dev/null 2>/dev/null | tr -d '\r')
  printf '%s\n' "$help" | grep -q -- '--list-ports' || fail "--help said: $help"
  printf '%s\n' "$help" | grep -q -- '--map-port' && fail "--help offers the Linux port commands"
  printf '%s\n' "$help" | grep -q 'APPDATA' || fail "--help does not say where the file lies"
  status=0
  (cd "$work" && wine kivo.exe --bogus </dev/null >/dev/null 2>&1) || status=$?
  [ "$status" = 2 ] || fail "a bad option ended with status $status"
  ;;
esac
echo "passed: $which"
