#!/usr/bin/env bash
# The release ZIP: exactly the i686 EXE and KELMENUS.EXE, the user guide and the licence, the texts as
# Windows text; then, unpacked into a fresh folder with the x86_64 build of the same sources in place of
# the EXE (64-bit Wine runs no i686 code), a first run: the thanks box, the bar, Ctrl+X, exit code 0,
# apps.dat in that folder.
# Usage: test_zip.sh Kelmar-VERSION-win32.zip KELMAR32.EXE(x86_64)
zip=$(readlink -f "${1:?usage: $0 ZIP KELMAR32.EXE}")
set -- "${2:?usage: $0 ZIP KELMAR32.EXE}"
. "$(dirname "$0")/../e2e/lib.sh"

make_work
unpacked=$work/unpacked
python3 -m zipfile -e "$zip" "$unpacked" || fail "cannot unpack $zip"
[ "$(cd "$unpacked" && find . -mindepth 1 -printf '%P\n' | sort | tr '\n' ' ')" = "KELMAR32.EXE KELMENUS.EXE LICENSE.TXT README.TXT " ] \
    || fail "the ZIP holds: $(cd "$unpacked" && find . -mindepth 1 -printf '%P ')"
python3 "$E2E_ROOT/tests/static/check_pe.py" "$unpacked/KELMAR32.EXE" --arch i686 \
    --imports "$E2E_ROOT/tests/static/imports-i686.txt" >/dev/null || fail "the ZIP's EXE is not the i686 build"
python3 "$E2E_ROOT/tests/static/check_pe.py" "$unpacked/KELMENUS.EXE" --arch i686 --kelmenus \
    --imports "$E2E_ROOT/tests/static/kelmenus-imports-i686.txt" >/dev/null || fail "the ZIP's KELMENUS.EXE is not the i686 build"
pass "the ZIP holds the i686 EXE and KELMENUS.EXE, README.TXT and LICENSE.TXT"

for text in README.TXT LICENSE.TXT; do
    # Every line ends in CRLF: no LF without its CR.
    [ "$(tr -cd '\n' <"$unpacked/$text" | wc -c)" = "$(grep -c $'\r$' "$unpacked/$text")" ] \
        || fail "$text has lines without CRLF"
done
head -n1 "$unpacked/LICENSE.TXT" | grep -q '^MIT License' && grep -q 'The Kelmar developers' "$unpacked/LICENSE.TXT" \
    || fail "LICENSE.TXT is not the MIT licence of the Kelmar developers"
guide=$(tr -d '\r' <"$unpacked/README.TXT" | tr -s ' \n' '  ')
grep -q $'\xa7' "$unpacked/README.TXT" || fail "README.TXT does not show the section sign in code page 1252"
for needed in msvcrt.dll apps.dat kelmar.ini Ctrl+E "Windows 95"; do
    [[ $guide == *"$needed"* ]] || fail "README.TXT does not mention $needed"
done
# Every two-line warning of the program, its line break read as a blank.
while IFS= read -r warning; do
    [[ $guide == *"$warning"* ]] || fail "README.TXT does not explain: $warning"
done < <(grep -rhoE '"[^"]*\\r\\n[^"]*"' "$E2E_ROOT"/core "$E2E_ROOT"/catalogue "$E2E_ROOT"/launch "$E2E_ROOT"/dialogs 2>/dev/null \
         | grep -v 'Thanks for trying' | sed -E 's/^"//; s/"$//; s/\\r\\n/ /g; s/\\"/"/g' | tr -s ' ' | sort -u)
pass "README.TXT and LICENSE.TXT are Windows text, and the guide explains the warnings"

cp "$KELMAR_EXE" "$unpacked/KELMAR32.EXE"
rm -f "$WINDOWS_DIR/kelmar.ini"
launch_kelmar "$unpacked"
box=$(wait_window Kelmar "$BOX_TEST") || fail "no thanks box on the first run"
finish_first_run "$box" "$unpacked"
pass "run from the unpacked folder: thanks box, bar, Ctrl+X, exit code 0, apps.dat beside the EXE"
echo "1 passed, 0 failed"
