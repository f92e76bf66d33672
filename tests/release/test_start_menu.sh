#!/usr/bin/env bash
# The first bar made from the Start menu, under 64-bit Wine in a fresh prefix: a Start menu of this
# test's own (folders in the user's and the all-users' menu, one in both with one shortcut in both, a
# deeper folder, shortcuts directly in Programs, an uninstaller, a readme, a broken one, a long name,
# names outside the code page, a target with arguments and a Start-in folder, one whose arguments do not
# fit, a target whose path is longer than the field) and a silent install: apps.dat holds exactly the
# menus and entries expected; entries chosen on the bar start their programs with their arguments in
# their folders; an update keeps apps.dat; KELMENUS.EXE refuses while Kelmar runs, asks, says what it
# left out and keeps the menus before as numbered backups; under Japanese a katakana title gets a letter.
# Usage: test_start_menu.sh Kelmar-VERSION-setup-amd64-test.exe
setup=$(readlink -f "${1:?usage: $0 SETUP-AMD64-TEST}")
build=$(dirname "$setup")  # the x86_64 build: its EXE and test helpers
unset WINEPREFIX  # a new user's Windows, not the shared prefix of the test command
export USER=alice LC_ALL=C.UTF-8  # names outside ASCII reach Wine whatever the caller's locale; code page 1252
set -- "$build/KELMAR32.EXE"
# shellcheck source=../e2e/lib.sh
. "$(dirname "$0")/../e2e/lib.sh"

work=$(mktemp -d)
cleanup() {
    [ -n "$KELMAR_PID" ] && kill "$KELMAR_PID" 2>/dev/null
    kelmar_wine_stop
    rm -rf "$work"
}
trap cleanup EXIT

win() { "$E2E_ROOT/scripts/wine-run" "$@"; }
boxes() { win "$build/boxtext.exe" 2>/dev/null | tr -d '\r'; }
listing() { find "$1" -mindepth 1 -maxdepth 1 -printf '%f\n' | sort | tr '\n' ' '; }

drive=$WINEPREFIX/drive_c
mine='C:\users\alice\AppData\Roaming\Microsoft\Windows\Start Menu\Programs'
everyone='C:\ProgramData\Microsoft\Windows\Start Menu\Programs'
unix() { win winepath -u "$1" 2>/dev/null | tr -d '\r'; }
# The programs: each a copy of the recorder, which writes recorder.txt beside itself.
for program in Writer/writer Writer/unins000 Calc/calc Draw/draw Notes/notes Sketch/sketch Game/game Horse/horse \
        Nihongo/nihongo 'A folder whose name is long enough/And another folder with a long name/deep'; do
    mkdir -p "$drive/Apps/${program%/*}"
    cp "$build/recorder.exe" "$drive/Apps/$program.exe"
done
deep='C:\Apps\A folder whose name is long enough\And another folder with a long name\deep.exe'
echo 'Read me first.' >"$drive/Apps/Writer/readme.txt"
mkdir -p "$drive/Work Dir" "$drive/Sketch Work"
link() {  # MENU FILE TARGET ARGUMENTS FOLDER: a shortcut in the Start menu MENU ($mine or $everyone)
    local folder=$drive/${1#C:\\}\\$2
    folder=${folder//\\//}
    mkdir -p "${folder%/*}"
    win "$build/shortcut.exe" make "$1\\$2" "${@:3}" 2>/dev/null || fail "cannot make the shortcut $2"
}
long_arguments='--canvas 1024x768 --layers 12 --title Sketch'
link "$everyone" 'Office\Writer.lnk' 'C:\Apps\Writer\writer.exe' '--new "two words"' 'C:\Work Dir'
link "$mine" 'Office\Writer.lnk' 'C:\Apps\Writer\writer.exe' '--new "two words"' 'C:\Work Dir'
link "$mine" 'Office\Calc.lnk' 'C:\Apps\Calc\calc.exe' '' ''
link "$everyone" 'Office\Tools\Draw.lnk' 'C:\Apps\Draw\draw.exe' '' 'C:\Apps\Draw'
link "$everyone" 'Office\Uninstall Office.lnk' 'C:\Apps\Writer\unins000.exe' '' ''
link "$everyone" 'Office\Read Me.lnk' 'C:\Apps\Writer\readme.txt' '' ''
link "$mine" 'Games\A game whose name is far too long for the menu.lnk' 'C:\Apps\Game\game.exe' '' ''
link "$everyone" 'Games\Žluťoučký kůň.lnk' 'C:\Apps\Horse\horse.exe' '' ''
link "$everyone" 'Games\日本語.lnk' 'C:\Apps\Nihongo\nihongo.exe' '' ''
link "$everyone" 'Games\Sketch.lnk' 'C:\Apps\Sketch\sketch.exe' "$long_arguments" 'C:\Sketch Work'
link "$mine" 'Games\Sketch Pro.lnk' 'C:\Apps\Sketch\sketch.exe' "$long_arguments" 'C:\Sketch Work'
link "$everyone" 'Games\Gone.lnk' 'C:\Apps\Gone\gone.exe' '' ''
link "$mine" 'Notes.lnk' 'C:\Apps\Notes\notes.exe' '--quiet' ''
link "$everyone" 'Deep.lnk' "$deep" '' ''
short_deep=$(win winepath -s "$deep" 2>/dev/null | tr -d '\r')
[ "${#short_deep}" -le 79 ] || fail "Wine's short form of the long path is $short_deep, longer than the field"
pass "a Start menu of the test's own: $(find "$(unix "$mine")" "$(unix "$everyone")" -name '*.lnk' | wc -l) shortcuts"

# A silent install into a folder without apps.dat makes the menus from the Start menu.
win "$setup" /S || fail "the silent install ended with exit code $?"
dir=$drive/users/alice/AppData/Local/Programs/Kelmar
where='C:\users\alice\AppData\Local\Programs\Kelmar'
[ -f "$dir/apps.dat" ] || fail "the install made no apps.dat; the folder holds: $(listing "$dir")"
expected() {
    printf '%s\n' '&Games | &A game whose name is far... | C:\Apps\Game\game.exe |  | ' \
        '&Games | &nihongo | C:\Apps\Nihongo\nihongo.exe |  | ' \
        "&Games | &Sketch | $everyone\\Games\\Sketch.lnk |  | " \
        '&Games | &Žlutoucký kun | C:\Apps\Horse\horse.exe |  | ' \
        '&Office | &Calc | C:\Apps\Calc\calc.exe |  | ' \
        '&Office | &Draw | C:\Apps\Draw\draw.exe | C:\Apps\Draw | ' \
        '&Office | &Writer | C:\Apps\Writer\writer.exe | C:\Work Dir | --new "two words"' \
        "&Programs | &Deep | $short_deep |  | " \
        '&Programs | &Notes | C:\Apps\Notes\notes.exe |  | --quiet'
}
diff <(expected) <(catalogue "$dir/apps.dat") >&2 || fail "the first apps.dat differs from the Start menu's menus (< expected, > written)"
pass "silent install: apps.dat holds the Start menu's folders as menus, sorted, with the expected entries and labels"

{ read -r target; read -r start_in; } < <(win "$build/shortcut.exe" "Z:$(unix "$mine")/Make Kelmar's menus from the Start menu.lnk" \
    2>/dev/null | tr -d '\r')
[ "$target|$start_in" = "$where\\KELMENUS.EXE|$where" ] || fail "the Start-menu shortcut to make the menus starts \"$target\" in \"$start_in\""
pass "the Start menu offers \"Make Kelmar's menus from the Start menu\", which starts KELMENUS.EXE in $where"

# The entries chosen on the bar, as the user would: Alt and the menu's letter, then the entry's. Kelmar
# is the installed one, started in its folder as its shortcut starts it.
KELMAR_EXE=$dir/KELMAR32.EXE
launch_kelmar "$dir"
box=$(wait_window Kelmar "$BOX_TEST" 60) || fail "no thanks box on the first run"
press "$box" Return
bar=$(wait_window Kelmar "$BAR_TEST") || fail "no bar"
choose() {  # MENU ENTRY RECORD WHAT: the keys, then the record the started program writes
    press "$bar" "alt+$1"
    sleep 0.5
    [ "$1" = g ] && screenshot start-menu-games
    xdotool key "$2"
    wait_until 30 "$4 to start" test -s "$3" || fail "choosing $4 started nothing"
}
choose o w "$drive/Apps/Writer/recorder.txt" Writer
[ "$(head -n2 "$drive/Apps/Writer/recorder.txt" | tr -d '\r' | tr '\n' '|')" = '--new "two words"|C:\Work Dir|' ] \
    || fail "Writer started with: $(tr '\r\n' ' |' <"$drive/Apps/Writer/recorder.txt")"
choose g s "$drive/Apps/Sketch/recorder.txt" Sketch
[ "$(head -n2 "$drive/Apps/Sketch/recorder.txt" | tr -d '\r' | tr '\n' '|')" = "$long_arguments|C:\\Sketch Work|" ] \
    || fail "Sketch, started through its shortcut, had: $(tr '\r\n' ' |' <"$drive/Apps/Sketch/recorder.txt")"
deep_record=$(unix "${deep%\\*}")/recorder.txt
choose p d "$deep_record" Deep
[ "$(head -n2 "$deep_record" | tr -d '\r' | tr '\n' '|')" = "|$where|" ] || fail "Deep started with: $(tr '\r\n' ' |' <"$deep_record")"
pass "chosen on the bar: Writer with its arguments in its folder, Sketch through its shortcut, Deep by its short path"
press "$bar" ctrl+x
wait_exit 20 || fail "Ctrl+X did not end Kelmar"

# An update keeps the menus, though the Start menu has changed since.
cp "$dir/apps.dat" "$work/first.dat"
link "$mine" 'Office\New.lnk' 'C:\Apps\Calc\calc.exe' '--new' ''
win "$setup" /S || fail "the update ended with exit code $?"
cmp -s "$dir/apps.dat" "$work/first.dat" || fail "the update changed apps.dat"
[ "$(listing "$dir")" = "KELMAR32.EXE KELMENUS.EXE LICENSE.TXT README.TXT Uninstall.exe apps.dat " ] \
    || fail "after the update the folder holds: $(listing "$dir")"
pass "an update leaves apps.dat as it was"

# KELMENUS.EXE as the user starts it: refused while Kelmar runs from its folder.
launch_kelmar "$dir"
bar=$(wait_window Kelmar "$BAR_TEST") || fail "no bar"
(cd "$dir" && exec "$E2E_ROOT/scripts/wine-run" KELMENUS.EXE) &
menus_pid=$!
wait_until 30 "the refusal" sh -c "'$E2E_ROOT/scripts/wine-run' '$build/boxtext.exe' 2>/dev/null | grep -q 'Kelmar is running from'" \
    || fail "no refusal while Kelmar runs; the screen shows: $(boxes)"
screenshot kelmenus-refused
press "$(wait_window Kelmar 'w < 800' 10)" Return
wait "$menus_pid"
code=$?
{ [ "$code" = 1 ] && cmp -s "$dir/apps.dat" "$work/first.dat" && [ ! -e "$dir/apps.dat.bak" ]; } \
    || fail "refused: exit code $code, folder $(listing "$dir")"
press "$bar" ctrl+x
wait_exit 20 || fail "Ctrl+X did not end Kelmar"
pass "KELMENUS.EXE refuses while Kelmar runs from its folder, with exit code 1, and touches nothing"

# Once Kelmar has ended: asks, makes the menus, keeps the old ones and says what it left out.
(cd "$dir" && exec "$E2E_ROOT/scripts/wine-run" KELMENUS.EXE) &
menus_pid=$!
question=$(wait_window Kelmar 'w < 800' 30) || fail "KELMENUS.EXE asks nothing"
boxes | grep -q "Make Kelmar's menus from your Start menu?" || fail "the question is: $(boxes)"
press "$question" Return
wait_until 30 "the report" sh -c "'$E2E_ROOT/scripts/wine-run' '$build/boxtext.exe' 2>/dev/null | grep -q 'menus are made'" \
    || fail "no report; the screen shows: $(boxes)"
report=$(boxes)
screenshot kelmenus-report
for said in "3 menus of 10 programs" "The menus you had are kept in apps.dat.bak." \
        "Left out, uninstallers: Uninstall Office." "Left out, readme, help, website and licence files: Read Me." \
        "Left out, shortcuts that lead nowhere: Gone." "Left out, paths too long for Kelmar's 79 characters: Sketch Pro."; do
    [[ $report == *"$said"* ]] || fail "the report does not say \"$said\": $report"
done
press "$(wait_window Kelmar 'w < 800' 10)" Return
wait "$menus_pid" || fail "KELMENUS.EXE ended with exit code $?"
cmp -s "$dir/apps.dat.bak" "$work/first.dat" || fail "apps.dat.bak is not the menus before"
grep -qxF '&Office | &New | C:\Apps\Calc\calc.exe |  | --new' <<<"$(catalogue "$dir/apps.dat")" \
    || fail "the new menus lack the new shortcut"
cp "$dir/apps.dat" "$work/second.dat"
pass "made again: asked first, the shortcut added since is there, the menus before are in apps.dat.bak, the report says what was left out"

# Under Japanese (code page 932): a folder named in katakana has no letter typed with one key, nor one
# in its name on disk, so it gets the first free one in parentheses.
link "$everyone" 'ユーティリティ\Tool.lnk' 'C:\Apps\Calc\calc.exe' '' ''
(cd "$dir" && LC_ALL=ja_JP.UTF-8 exec "$E2E_ROOT/scripts/wine-run" KELMENUS.EXE /S) || fail "KELMENUS.EXE /S under Japanese failed"
{ cmp -s "$dir/apps.dat.bak" "$work/second.dat" && cmp -s "$dir/apps.dat.bak.1" "$work/first.dat"; } \
    || fail "the backups are not the menus before, newest first: $(listing "$dir")"
grep -qxF 'ユーティリティ(&A) | &Tool | C:\Apps\Calc\calc.exe |  | ' <<<"$(catalogue "$dir/apps.dat" 932)" \
    || fail "no katakana title with (&A): $(catalogue "$dir/apps.dat" 932 | cut -d'|' -f1 | sort -u | tr '\n' ' ')"
pass "under Japanese a katakana title gets (&A); the menus before are apps.dat.bak, the ones before those apps.dat.bak.1"
echo "1 passed, 0 failed"
