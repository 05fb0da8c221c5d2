#!/bin/sh
# A language is one more file in po/: the catalogue takes it without a change of code,
# shows English where it has no text, and refuses a translation that loses a placeholder
# or a Japanese text that is missing.
#   catalogue_test.sh PYTHON SOURCE_DIR
python="$1"
source="$2"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }
generate() { "$python" "$source/cmake/catalogue.py" "$work/out.h" "$work/out.cpp" "$work"/po/*.po 2>"$work/err"; }

mkdir "$work/po"
cp "$source"/po/*.po "$work/po/"
cat > "$work/po/fr.po" <<'PO'
msgid ""
msgstr "Content-Type: text/plain; charset=UTF-8\n"

msgctxt "StartupLoadMessage"
msgid "Cannot open the file \"KIVO.ini\""
msgstr "Impossible d'ouvrir le fichier \"KIVO.ini\""

#, fuzzy
msgctxt "SaveQuestion"
msgid "Overwrite the file with the current list?"
msgstr "Remplacer le fichier ?"

msgctxt "FileOpenError"
msgid "Cannot open the file {path}"
msgstr "Impossible d'ouvrir {path}"
PO
generate || fail "a partial translation was refused: $(cat "$work/err")"
grep -q '"fr",' "$work/out.cpp" || fail "no French catalogue"
grep -q "Impossible d'ouvrir le fichier" "$work/out.cpp" || fail "the French text is missing"
grep -q 'Remplacer' "$work/out.cpp" && fail "a fuzzy translation was taken"
grep -q 'fr.po: SaveQuestion fuzzy' "$work/err" || fail "no warning of the fuzzy entry"
french=$(sed -n '/{  \/\/ fr/,/},/p' "$work/out.cpp" | grep -c nullptr)
total=$(grep -c '^    [A-Z][A-Za-z0-9]*,$' "$work/out.h")
[ "$french" -eq $((total - 2)) ] || fail "$french of $total French texts are English"

sed -i 's/Impossible d.ouvrir {path}/Impossible d ouvrir le fichier/' "$work/po/fr.po"
generate && fail "a translation without {path} was taken"
grep -q 'FileOpenError uses the placeholders' "$work/err" || fail "wrong complaint: $(cat "$work/err")"

rm "$work/po/fr.po"
sed -i '/msgctxt "ListIndexError"/,/^$/d' "$work/po/ja.po"
generate && fail "a Japanese catalogue without ListIndexError was taken"
grep -q 'ja.po: ListIndexError missing' "$work/err" || fail "wrong complaint: $(cat "$work/err")"
echo "1 passed, 0 failed"
