#!/usr/bin/env bash
# The Windows programs call the system themselves: they import only the system's own
# DLLs (no POSIX layer, no mingw runtime DLL), hold nothing of the POSIX backend, and the
# port tests import the communications calls from KERNEL32 and the window calls from
# USER32 by name.
#   check-imports.sh OBJDUMP NM PROGRAM-FOLDER PORT-TESTS-PROGRAM
set -euo pipefail
objdump=$1 nm=$2 bin=$3 port_exe=$4
comm_calls=(CreateFileA SetupComm GetCommState SetCommState GetCommTimeouts SetCommTimeouts
  SetCommMask WaitCommEvent PurgeComm ClearCommError ReadFile WriteFile GetOverlappedResult
  CreateEventA SetEvent ResetEvent WaitForSingleObject CloseHandle)
window_calls=(CreateWindowExA PostMessageA DefWindowProcA DispatchMessageA)
status=0
for exe in "$bin"/*.exe; do
  for dll in $("$objdump" -p "$exe" | grep -o 'DLL Name: .*' | cut -d' ' -f3 | sort -u); do
    case "${dll,,}" in
      kernel32.dll | user32.dll | msvcrt.dll | advapi32.dll | ws2_32.dll | shell32.dll) ;;
      gdi32.dll | comctl32.dll | setupapi.dll) ;;
      api-ms-win-*) ;;
      *) echo "error: $exe imports $dll"; status=1 ;;
    esac
  done
  if "$nm" -C "$exe" 2>/dev/null | grep -q 'comm::posix::'; then
    echo "error: $exe holds the POSIX backend"
    status=1
  fi
done
# The names imported from one DLL by a program (the port tests unless named).
imported() {
  "$objdump" -p "${2:-$port_exe}" |
    awk -v want="$1" '/DLL Name:/ {dll=toupper($3)} dll==want && NF>=3 && $1 ~ /^[0-9a-f]+$/ {print $3}'
}
kernel32=$(imported KERNEL32.DLL)
user32=$(imported USER32.DLL)
for call in "${comm_calls[@]}"; do
  grep -qx "$call" <<<"$kernel32" || { echo "error: $call not imported from KERNEL32.dll"; status=1; }
done
for call in "${window_calls[@]}"; do
  grep -qx "$call" <<<"$user32" || { echo "error: $call not imported from USER32.dll"; status=1; }
done
# The program: wide-character windows, the single-copy rule's "A" calls, Winsock's
# window messages.
for pair in USER32.DLL:CreateWindowExW USER32.DLL:MessageBoxW USER32.DLL:FindWindowA \
  USER32.DLL:SendMessageA USER32.DLL:IsDialogMessageW WS2_32.DLL:WSAAsyncSelect; do
  grep -qx "${pair#*:}" <<<"$(imported "${pair%%:*}" "$bin/kivo.exe")" ||
    { echo "error: kivo.exe does not import ${pair#*:} from ${pair%%:*}"; status=1; }
done
[ $status = 0 ] && echo "KERNEL32.dll: ${comm_calls[*]}" && echo "USER32.dll: ${window_calls[*]}"
exit $status
