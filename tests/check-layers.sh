#!/bin/sh
# The layers' arrows, read from the include lines: app -> core -> serial, sim -> serial.
# Every project include names its folder from the root; the files of a folder include
# only what its line below allows; a platform's parts are reached only from the same
# platform's folders, and the POSIX backend's headers only from the backend itself.
cd "$(dirname "$0")/.." || exit 2
status=0
ruled=" "
allow() {  # a folder, then the include paths its own files may name (a regular expression)
    ruled="$ruled$1 "
    for f in "$1"/*.h "$1"/*.cpp; do
        [ -e "$f" ] || continue
        grep -HnE '^[[:space:]]*#[[:space:]]*include[[:space:]]*"' "$f" |
            grep -vE "#[[:space:]]*include[[:space:]]*\"(kivo_version\.h|$2)\"" && status=1
    done
}
top='[^/"]+'  # a file directly in the folder named before it
allow serial             "serial/$top"
allow serial/posix       "serial/$top|serial/posix/$top|serial/posix/ports/$top"
allow serial/posix/ports "serial/$top|serial/posix/ports/$top"
allow serial/win32       "serial/$top|serial/win32/$top"
allow serial/win32/ports "serial/$top|serial/win32/$top|serial/win32/ports/$top"
allow core               "core/$top|serial/$top|kivo_messages\.h"  # the generated catalogue
allow core/posix         "core/$top|serial/$top|serial/posix/ports/$top"
allow core/win32         "core/$top|core/win32/$top|serial/$top"
allow app/win32          "app/win32/$top|core/$top|core/win32/$top|serial/$top|serial/win32/$top|serial/win32/ports/$top"
allow app/qt             "app/qt/$top|core/$top|serial/$top|serial/posix/ports/$top"
allow sim                "sim/$top|serial/$top|serial/posix/ports/$top"
# Tests and benchmarks reach anything, by its full name.
for dir in $(find tests bench -type d); do allow "$dir" "(serial|core|app|sim|tests|bench)/.+"; done
# A new folder of code needs its line above.
for dir in $(find serial core app sim -type d); do
    case "$ruled" in *" $dir "*) continue ;; esac
    for f in "$dir"/*.h "$dir"/*.cpp; do
        [ -e "$f" ] && { echo "$dir: no line in $0"; status=1; break; }
    done
done
[ $status = 0 ] || echo "error: the lines above break the layers (see docs/HACKING.md)" >&2
exit $status
