#!/usr/bin/env bash
# Installs the build into a staging folder and builds the Debian package from it, then
# checks both with the distribution's validators:
#   the staged kivo --version/--help run without a display; desktop-file-validate,
#   appstreamcli and man (groff -ww) accept the staged files; the package is named
#   kivo_<version>_<arch>.deb, lists what is installed, and lintian finds no error.
#
#   check-install.sh BUILD_DIR VERSION
set -uo pipefail

build="$1"
version="$2"
work="$(mktemp -d "${TMPDIR:-/tmp}/kivo-install.XXXXXX")"
trap 'rm -rf "$work"' EXIT
failures=0
fail() {
  echo "FAIL: $*"
  failures=$((failures + 1))
}
ok() { echo "ok: $*"; }

# Run $2... and fail with $1 when it fails; its output shows either way.
check() {
  local what="$1"
  shift
  if "$@"; then ok "$what"; else fail "$what"; fi
}

# --- the staged installation (the build's own prefix, under DESTDIR) ---
stage="$work/stage"
DESTDIR="$stage" cmake --install "$build" >"$work/install.log" 2>&1 ||
  { cat "$work/install.log"; fail "cmake --install"; }
prefix="$(sed -n 's/^CMAKE_INSTALL_PREFIX:PATH=//p' "$build/CMakeCache.txt")"
root="$stage$prefix"

# Nothing may need a display or a toolkit platform to print.
nodisplay=(env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM)
out="$("${nodisplay[@]}" "$root/bin/kivo" --version 2>&1)"
check "kivo --version prints '$out'" test "$out" = "kivo $version"
out="$("${nodisplay[@]}" "$root/bin/kivo-sim" --version 2>&1)"
check "kivo-sim --version prints '$out'" test "$out" = "kivo-sim $version"
out="$("${nodisplay[@]}" "$root/bin/kivo" --help 2>&1)"
for part in "Usage: kivo [OPTION]... [CHANNEL]" KIVO_PORTS XDG_CONFIG_HOME \
  "$prefix/bin" "KIVO.ini"; do
  check "kivo --help mentions $part" grep -qF -- "$part" <<<"$out"
done

check "desktop-file-validate" desktop-file-validate "$root/share/applications/kivo.desktop"
for key in 'Name=' 'GenericName=' 'GenericName\[ja\]=' 'Comment=' 'Comment\[ja\]=' \
  'Exec=kivo' 'Icon=kivo' 'Categories=.*HamRadio'; do
  check "desktop entry has $key" grep -q "^$key" "$root/share/applications/kivo.desktop"
done
metainfo=("$root"/share/metainfo/*.metainfo.xml)
check "appstreamcli validate" appstreamcli validate --no-net "${metainfo[@]}"
check "metainfo names release $version" grep -q "<release version=\"$version\"" "${metainfo[@]}"
check "metainfo has a screenshot" grep -q "<screenshot" "${metainfo[@]}"

for page in kivo kivo-sim; do
  file="$root/share/man/man1/$page.1.gz"
  warnings="$(zcat "$file" | LC_ALL=C.UTF-8 groff -ww -b -z -man -Tutf8 2>&1)"
  check "groff -ww renders $page.1 without warnings" test -z "$warnings"
  [ -z "$warnings" ] || echo "$warnings"
  text="$(LC_ALL=C.UTF-8 MANWIDTH=80 man -l "$file" 2>"$work/man.err")"
  check "man -l $page.1 quiet" test ! -s "$work/man.err"
  for section in NAME SYNOPSIS OPTIONS ENVIRONMENT FILES "EXIT STATUS" EXAMPLES; do
    check "$page.1 has $section" grep -q "^$section" <<<"$text"
  done
done

svg="$root/share/icons/hicolor/scalable/apps/kivo.svg"
png="$root/share/icons/hicolor/64x64/apps/kivo.png"
check "scalable icon" grep -q "<svg" "$svg"
# The PNG header's width and height, 64 each.
size="$(od -An -tx1 -j16 -N8 "$png" | tr -d ' \n')"
check "64x64 icon (header $size)" test "$size" = "0000004000000040"
for doc in README.md LICENSE copyright changelog.gz; do
  check "doc $doc" test -s "$root/share/doc/kivo/$doc"
done

# --- the Debian package ---
arch="$(dpkg --print-architecture)"
deb="$work/deb/kivo_${version}_${arch}.deb"
(cd "$build" && cpack -G DEB -B "$work/deb" -D KIVO_PACKAGE_ANY_PREFIX=1 >"$work/cpack.log" 2>&1) ||
  { cat "$work/cpack.log"; fail "cpack"; }
check "package $(basename "$deb")" test -f "$deb"

info="$(dpkg-deb --info "$deb")"
echo "$info" | sed -n '/Package:/,$p'
for field in "Package: kivo" "Version: $version" "Architecture: $arch" "Section: hamradio" \
  "Depends: .*libqt6widgets6" "Maintainer: " "Description: .\+"; do
  check "control: $field" grep -q "^ $field" <<<"$info"
done
# The long description: more than the summary line.
check "control: long description" test "$(sed -n '/^ Description:/,/^ [A-Z][a-z-]*:/p' <<<"$info" | wc -l)" -gt 3

contents="$(dpkg-deb --contents "$deb" | awk '{print $6}')"
for path in ./usr/bin/kivo ./usr/bin/kivo-sim ./usr/share/applications/kivo.desktop \
  ./usr/share/icons/hicolor/scalable/apps/kivo.svg \
  ./usr/share/icons/hicolor/64x64/apps/kivo.png \
  ./usr/share/metainfo/org.example.kivo.metainfo.xml \
  ./usr/share/man/man1/kivo.1.gz ./usr/share/man/man1/kivo-sim.1.gz \
  ./usr/share/doc/kivo/README.md ./usr/share/doc/kivo/LICENSE \
  ./usr/share/doc/kivo/copyright ./usr/share/doc/kivo/changelog.gz; do
  check "package holds $path" grep -qxF "$path" <<<"$contents"
done
check "package holds nothing outside /usr" test -z "$(grep -v '^\./usr/\|^\./$' <<<"$contents")"
check "no maintainer scripts" test -z "$(dpkg-deb --ctrl-tarfile "$deb" | tar -t |
  grep -E 'preinst|postinst|prerm|postrm')"

mkdir -p "$work/unpacked"
dpkg-deb -x "$deb" "$work/unpacked"
check "appstreamcli validate-tree on the package" appstreamcli validate-tree --no-net "$work/unpacked"

lintian --fail-on error --display-info "$deb" 2>&1 | grep -v '^running with root' >"$work/lintian.txt"
status=${PIPESTATUS[0]}
echo "lintian:"
sed 's/^/  /' "$work/lintian.txt"
check "lintian reports no error" test "$status" -eq 0 -a -z "$(grep '^E:' "$work/lintian.txt")"

echo "$failures failed"
[ "$failures" -eq 0 ]
