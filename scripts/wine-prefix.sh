#!/usr/bin/env bash
# Cross-builds the serial layer, the core and their tests for 64-bit Windows and runs the
# tests through Wine, on a private Wine prefix in the build folder whose COM ports are
# pseudo-terminal pairs joined end to end (socat), so no test touches a real device.
# Usage: scripts/test-windows.sh [BUILD-FOLDER] [CMAKE-ARGUMENT]...
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
build=${1:-build-windows}
shift || true
jobs=${JOBS:-2}
mkdir -p "$build"
build=$(cd "$build" && pwd)

scripts/install-deps.sh windows

echo "== cross-building for Windows in $build"
cmake -S . -B "$build" -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64-x86_64.cmake" \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo "$@" >/dev/null
cmake --build "$build" -j"$jobs"

echo "== the Windows programs call kernel32 themselves"
objdump=x86_64-w64-mingw32-objdump
nm=x86_64-w64-mingw32-nm
comm_calls=(CreateFileA SetupComm GetCommState SetCommState GetCommTimeouts SetCommTimeouts
  SetCommMask WaitCommEvent PurgeComm ClearCommError ReadFile WriteFile GetOverlappedResult
  CreateEventA SetEvent ResetEvent WaitForSingleObject CloseHandle)
window_calls=(CreateWindowExA PostMessageA DefWindowProcA DispatchMessageA)
for exe in "$build"/bin/*.exe; do
  imports=$($objdump -p "$exe")
  # Only the system's own DLLs: no POSIX layer (cygwin, msys) and no mingw runtime DLL.
  dlls=$(grep -o 'DLL Name: .*' <<<"$imports" | cut -d' ' -f3 | sort -u | tr '\n' ' ')
  for dll in $dlls; do
    case "${dll,,}" in
      kernel32.dll | user32.dll | msvcrt.dll | advapi32.dll | ws2_32.dll | shell32.dll) ;;
      api-ms-win-*) ;;
      *) echo "error: $exe imports $dll" >&2; exit 1 ;;
    esac
  done
  if $nm -C "$exe" | grep -q 'comm::posix::'; then
    echo "error: $exe holds the POSIX backend" >&2
    exit 1
  fi
done
port_exe="$build/bin/kivo_port_tests.exe"
kernel32=$($objdump -p "$port_exe" | awk '/DLL Name:/ {dll=toupper($3)} dll=="KERNEL32.DLL" && NF>=3 && $1 ~ /^[0-9a-f]+$/ {print $3}')
user32=$($objdump -p "$port_exe" | awk '/DLL Name:/ {dll=toupper($3)} dll=="USER32.DLL" && NF>=3 && $1 ~ /^[0-9a-f]+$/ {print $3}')
for call in "${comm_calls[@]}"; do
  grep -qx "$call" <<<"$kernel32" || { echo "error: $call not imported from KERNEL32.dll" >&2; exit 1; }
done
for call in "${window_calls[@]}"; do
  grep -qx "$call" <<<"$user32" || { echo "error: $call not imported from USER32.dll" >&2; exit 1; }
done
echo "KERNEL32.dll: ${comm_calls[*]}"
echo "USER32.dll: ${window_calls[*]}"

echo "== Wine prefix and ports"
export WINEPREFIX="$build/wineprefix"
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree=;mshtml=;winemenubuilder.exe=d"
unset DISPLAY WAYLAND_DISPLAY
ports="$build/ports"
pids=()
cleanup() {
  wineserver -k 2>/dev/null || true
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
}
trap cleanup EXIT

# COMn and COM(n+10) are the two ends of one line.
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
for n in "${pairs[@]}"; do
  for _ in $(seq 100); do
    [ -e "$ports/COM$n" ] && [ -e "$ports/COM$((n + 10))" ] && break
    sleep 0.1
  done
  [ -e "$ports/COM$n" ] || { echo "error: socat made no pty pair for COM$n" >&2; exit 1; }
done

wineserver -k 2>/dev/null || true
if [ ! -f "$WINEPREFIX/system.reg" ]; then
  wine wineboot -i </dev/null >/dev/null 2>&1
  wineserver -w
fi
# COM1..COM20 are ours: the pairs, the other names switched off, so that Wine maps the
# machine's own serial devices above COM20, where no test looks. No display: windows
# live on the null driver.
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
  printf '\n[HKEY_CURRENT_USER\\Software\\Wine\\Drivers]\n"Graphics"="null"\n'
} >"$reg"
wine regedit /S "$reg" </dev/null >/dev/null 2>&1
wineserver -w

# One server for the whole run; Wine's services started with nothing to read or write.
wineserver -p
wine cmd /c exit </dev/null >/dev/null 2>&1
for n in $(seq 20); do
  link="$WINEPREFIX/dosdevices/com$n"
  [ -L "$link" ] || continue
  case "$(readlink "$link")" in
    "$ports"/*) ;;
    *) echo "error: COM$n leads to $(readlink "$link"), not to a test port" >&2; exit 1 ;;
  esac
done

shim="$build/ptymodem_shim.so"
g++ -std=c++20 -O2 -Wall -Wextra -shared -fPIC -o "$shim" tests/windows/ptymodem_shim.cpp -ldl

echo "== tests under Wine"
export KIVO_TEST_COM_PAIRS
KIVO_TEST_COM_PAIRS=$(IFS=,; echo "${pair_list[*]}")
cd "$build"
LD_PRELOAD="$shim" ctest --output-on-failure -j"$jobs" --timeout 300
