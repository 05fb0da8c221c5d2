#!/usr/bin/env bash
# Runs a command (the Windows build's ctest) in a private Wine prefix in the build folder
# whose COM ports are pseudo-terminal pairs joined end to end (socat), so that no test
# touches a real device: COMn and COM(n+10) are the two ends of one line, the other names
# up to COM20 are switched off, windows use the null display driver, one Wine server
# serves the whole run, and a small preloaded library answers the modem-line queries that
# pseudo-terminals refuse. COM3 is a port that can be unplugged: a pseudo-terminal whose
# far end is a TCP connection to a test on 127.0.0.1 (KIVO_TEST_UNPLUGGABLE); when the
# test closes it, the port hangs up and goes, and a new one comes under the same name,
# ready for the test's next connection. Everything started here is stopped at the end.
# With KIVO_WINE_GRAPHICS=x11 the windows go to the X display in DISPLAY instead (for
# pictures and timings), drawn by Wine itself without a window manager.
# Usage: scripts/wine-prefix.sh BUILD-FOLDER COMMAND [ARGUMENT]...
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "$1" && pwd)
shift

export WINEPREFIX="$build/wineprefix"
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree=;mshtml=;winemenubuilder.exe=d"
graphics=${KIVO_WINE_GRAPHICS:-null}
[ "$graphics" = null ] && unset DISPLAY
unset WAYLAND_DISPLAY
ports="$build/ports"
pids=()
cleanup() {
  wineserver -k 2>/dev/null || true
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
}
trap cleanup EXIT

pairs=(1 2)
rm -rf "$ports"
mkdir -p "$ports"
pair_list=()
for n in "${pairs[@]}"; do
  far=$((n + 10))
  socat pty,raw,echo=0,link="$ports/COM$n" pty,raw,echo=0,link="$ports/COM$far" &
  pids+=($!)
  pair_list+=("COM$n=COM$far")
done
unplug_tcp=$(python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
(
  trap 'kill "$line" 2>/dev/null; exit 0' TERM
  while :; do
    socat -t 0.1 pty,raw,echo=0,link="$ports/COM3" \
      TCP:127.0.0.1:"$unplug_tcp",retry=3000,interval=0.2 2>/dev/null &
    line=$!
    wait "$line" || true  # it ends when the test drops its connection
  done
) &
pids+=($!)
for n in "${pairs[@]}" 3; do
  for _ in $(seq 100); do
    [ -e "$ports/COM$n" ] && { [ "$n" = 3 ] || [ -e "$ports/COM$((n + 10))" ]; } && break
    sleep 0.1
  done
  [ -e "$ports/COM$n" ] || { echo "error: socat made no pty for COM$n" >&2; exit 1; }
done

wineserver -k 2>/dev/null || true
if [ ! -f "$WINEPREFIX/system.reg" ]; then
  wine wineboot -i </dev/null >/dev/null 2>&1
  wineserver -w
fi
# Wine maps the machine's own serial devices above COM20, where no test looks.
reg="$build/wine-settings.reg"
{
  printf 'REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\Software\\Wine\\Ports]\n'
  for n in $(seq 20); do
    if [ -e "$ports/COM$n" ]; then
      printf '"COM%d"="%s"\n' "$n" "$ports/COM$n"
    else
      printf '"COM%d"=""\n' "$n"
    fi
  done
  printf '\n[HKEY_CURRENT_USER\\Software\\Wine\\Drivers]\n"Graphics"="%s"\n' "$graphics"
  printf '\n[HKEY_CURRENT_USER\\Software\\Wine\\X11 Driver]\n"Managed"="N"\n'
} >"$reg"
wine regedit /S "$reg" </dev/null >/dev/null 2>&1
# The windows' Japanese face and the system's, drawn by the IPA font (names beyond ASCII
# need the UTF-16 form of a registry file).
fonts="$build/wine-fonts.reg"
{
  printf 'Windows Registry Editor Version 5.00\r\n\r\n'
  printf '[HKEY_CURRENT_USER\\Software\\Wine\\Fonts\\Replacements]\r\n'
  for face in "MS UI Gothic" "MS PGothic" "ＭＳ Ｐゴシック" "MS Gothic" "ＭＳ ゴシック"; do
    printf '"%s"="IPAPGothic"\r\n' "$face"
  done
} | iconv -f UTF-8 -t UTF-16LE | { printf '\xff\xfe'; cat; } >"$fonts"
wine regedit /S "$fonts" </dev/null >/dev/null 2>&1
wineserver -w

# One server for the whole run; Wine's services started with nothing to read or write.
wineserver -p
wine cmd /c exit </dev/null >/dev/null 2>&1
# The desktop process (started with the first window) started here, so that it holds no
# test's output open for the rest of the run.
wine rundll32.exe user32.dll,GetDesktopWindow </dev/null >/dev/null 2>&1
for n in $(seq 20); do
  link="$WINEPREFIX/dosdevices/com$n"
  [ -L "$link" ] || continue
  case "$(readlink "$link")" in
    "$ports"/*) ;;
    *) echo "error: COM$n leads to $(readlink "$link"), not to a test port" >&2; exit 1 ;;
  esac
done

shim="$build/ptymodem_shim.so"
g++ -std=c++20 -O2 -Wall -Wextra -shared -fPIC -o "$shim" "$root/tests/support/wine/ptymodem_shim.cpp" -ldl

export KIVO_TEST_COM_PAIRS KIVO_TEST_UNPLUGGABLE
KIVO_TEST_COM_PAIRS=$(IFS=,; echo "${pair_list[*]}")
KIVO_TEST_UNPLUGGABLE="COM3=127.0.0.1:$unplug_tcp"
LD_PRELOAD="$shim" "$@"
