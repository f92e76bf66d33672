#!/usr/bin/env bash
# The Windows setup under 64-bit Wine, in a fresh prefix of its own as a new user's Windows would be,
# for a user whose name the ANSI code page cannot hold: a silent install into the per-user programs
# folder (files, both shortcuts read back through the shell, the "Apps and features" entry); Kelmar
# started as its Start-menu shortcut starts it, with an update refused while it cannot end; an update
# while it runs with changed menus and a portable copy runs elsewhere; folders given with /D= made
# whole or refused, also quoted whole as deployment tools pass it; moves to other folders with the
# menus, one onto a drive whose top folder is empty; an install repaired in place after a file was
# deleted or an update was cut short, also by a kill at each of its steps; an interactive update that
# leaves a dialog of Kelmar's open until the user has finished it; the registered silent uninstall,
# its exit code true whether or not Kelmar could close, and one after the folder was deleted; and,
# where the test may mount, a full disk and a read-only folder. 64-bit Wine runs no i686 code, so the setup run here is the same script built with NSIS's
# x86_64 stub around the x86_64 EXE; of the shipped one this checks what differs: 32-bit, Unicode as
# well, and no administrator asked for.
# (tests/smoke/i686_smoke.sh installs the shipped one under 32-bit Wine.)
# Usage: test_setup.sh Kelmar-VERSION-setup-amd64-test.exe Kelmar-VERSION-setup.exe
setup=$(readlink -f "${1:?usage: $0 SETUP-AMD64-TEST SETUP}")
shipped=$(readlink -f "${2:?usage: $0 SETUP-AMD64-TEST SETUP}")
build=$(dirname "$setup")  # the x86_64 build: its EXE, texts and test helpers
version=$(basename "$setup" | sed -E 's/^Kelmar-(.*)-setup-amd64-test\.exe$/\1/')
unset WINEPREFIX  # never the shared one of the test command: this one is a new user's
export USER=Łukasz  # Wine names the new prefix's profile after $USER; "Ł" is not in code page 1252
# Under the POSIX locale (a server's shell often has no LANG) Wine makes no profile for that name.
export LC_ALL=C.UTF-8
set -- "$build/KELMAR32.EXE"
# shellcheck source=../e2e/lib.sh
. "$(dirname "$0")/../e2e/lib.sh"

work=$(mktemp -d)
mnt=$work/disk
cleanup() {
    [ -n "$KELMAR_PID" ] && kill "$KELMAR_PID" 2>/dev/null
    kelmar_wine_stop
    mountpoint -q "$mnt" 2>/dev/null && umount "$mnt"
    rm -rf "$work"
}
trap cleanup EXIT

win() { "$E2E_ROOT/scripts/wine-run" "$@"; }
unix() { win winepath -u "$1" 2>/dev/null | tr -d '\r'; }
key='HKCU\Software\Microsoft\Windows\CurrentVersion\Uninstall\Kelmar'
# The uninstall entry as it is now, read whole: "reg query" writes in the console's code page, which
# has no "Ł"; "reg export" writes UTF-16. value NAME then prints one value: a string unquoted, a DWORD as 0x...
entry() {
    rm -f "$WINEPREFIX/drive_c/entry.reg"
    win reg export "$key" 'C:\entry.reg' /y >/dev/null 2>&1
    { iconv -f UTF-16 -t UTF-8 "$WINEPREFIX/drive_c/entry.reg" 2>/dev/null || true; } | tr -d '\r' >"$work/entry"
}
value() {
    local raw
    raw=$(sed -n "s/^\"$1\"=//p" "$work/entry")
    case $raw in
        dword:*) printf '0x%x' $((16#${raw#dword:})) ;;
        *) echo "$raw" | sed -e 's/^"\(.*\)"$/\1/' -e 's/\\\\/\\/g' -e 's/\\"/"/g' ;;
    esac
}
shortcut() { win "$build/shortcut.exe" "Z:$1" 2>/dev/null | tr -d '\r'; }
boxes() { win "$build/boxtext.exe" 2>/dev/null | tr -d '\r'; }
# Waits up to 30 s until a dialog on the screen shows the text.
screen_says() { for _ in $(seq 60); do boxes | grep -qF "$1" && return 0; sleep 0.5; done; return 1; }
listing() { find "$1" -mindepth 1 -maxdepth 1 -printf '%f\n' | sort | tr '\n' ' '; }

/usr/bin/python3 - "$shipped" "$setup" <<'PY' || fail "the setups are not the programs they should be"
import struct, sys
for path, machine in ((sys.argv[1], 0x14c), (sys.argv[2], 0x8664)):
    data = open(path, 'rb').read()
    pe = struct.unpack_from('<I', data, 0x3c)[0]
    if data[pe:pe + 4] != b'PE\0\0' or struct.unpack_from('<H', data, pe + 4)[0] != machine:
        sys.exit('%s is not a Windows program for machine %#x' % (path, machine))
    if b'requestedExecutionLevel level="asInvoker"' not in data:
        sys.exit('%s asks Windows for an administrator' % path)
    # A Unicode setup calls Windows' wide functions; an ANSI one loses names outside the code page.
    if b'MessageBoxIndirectW' not in data or b'MessageBoxIndirectA' in data:
        sys.exit('%s is not a Unicode setup' % path)
if len(open(sys.argv[1], 'rb').read()) > 192 * 1024:
    sys.exit('the shipped setup is more than 192 KiB')
PY
pass "the shipped setup is 32-bit and at most 192 KiB; both are Unicode setups; neither asks for an administrator"

# A silent install with the defaults.
win "$setup" /S || fail "the silent install ended with exit code $?"
profile=
for folder in "$WINEPREFIX"/drive_c/users/*; do [ "${folder##*/}" = Public ] || profile=$folder; done
[ "${profile##*/}" = Łukasz ] || fail "the profile is $profile, not one named after USER=Łukasz"
entry
dir=$profile/AppData/Local/Programs/Kelmar
menu="$profile/AppData/Roaming/Microsoft/Windows/Start Menu/Programs"
where=$(value InstallLocation)
{ [ -n "$where" ] && [ "$(unix "$where")" -ef "$dir" ]; } || fail "installed in \"$where\", not in %LOCALAPPDATA%\\Programs\\Kelmar"
[ "$(listing "$dir")" = "KELMAR32.EXE KELMENUS.EXE LICENSE.TXT README.TXT Uninstall.exe " ] \
    || fail "the install folder holds: $(listing "$dir")"
for file in KELMAR32.EXE KELMENUS.EXE README.TXT LICENSE.TXT; do
    cmp -s "$build/$file" "$dir/$file" || fail "the installed $file is not the one the build made"
done
pass "silent install: KELMAR32.EXE, KELMENUS.EXE, README.TXT, LICENSE.TXT and the uninstaller in $where"

for link in "$menu/Kelmar.lnk" "$menu/StartUp/Kelmar.lnk"; do
    read_back=$(shortcut "$link") || fail "no shortcut $link"
    [ "$read_back" = "$where\\KELMAR32.EXE"$'\n'"$where" ] \
        || fail "${link#"$profile"/} has target, Start in and arguments: $(echo "$read_back" | tr '\n' '|')"
done
pass "the Start-menu and Startup shortcuts start $where\\KELMAR32.EXE in $where"

for check in "DisplayName=Kelmar" "DisplayVersion=$version" "Publisher=The Kelmar developers" \
             "DisplayIcon=$where\\KELMAR32.EXE" "UninstallString=\"$where\\Uninstall.exe\"" \
             "QuietUninstallString=\"$where\\Uninstall.exe\" /S _?=$where" "NoModify=0x1" "NoRepair=0x1"; do
    [ "$(value "${check%%=*}")" = "${check#*=}" ] || fail "${check%%=*} is \"$(value "${check%%=*}")\", not \"${check#*=}\""
done
size=$(value EstimatedSize)
[ $((size)) -ge $(($(cat "$dir"/* | wc -c) / 1024)) ] || fail "EstimatedSize is $size KiB, less than the files"
pass "the entry under Apps and features: name, version, publisher, icon, folder, uninstall commands, size"

# Kelmar as the Start-menu shortcut starts it. While its first-run box is open it has no bar to ask
# to end, so an update must give up and leave the running EXE alone.
{ read -r target; read -r start_in; } < <(shortcut "$menu/Kelmar.lnk")
KELMAR_EXE=$(unix "$target") launch_kelmar "$(unix "$start_in")"
box=$(wait_window Kelmar "$BOX_TEST" 60) || fail "no thanks box on the first run"
untouched=$(stat -c %y "$dir")
win "$setup" /S && fail "an update went through while Kelmar could not end"
[ "$(stat -c %y "$dir")" = "$untouched" ] || fail "an update that gave up wrote in the install folder: $(listing "$dir")"
pass "an update gives up while Kelmar cannot end, and does not touch the install folder"
finish_first_run "$box" "$dir"
pass "started as its shortcut starts it: thanks box, bar, Exit, apps.dat in the install folder"

# An update while Kelmar runs with menus changed since its last save. The installed EXE stands for
# an older build, and the user has taken Kelmar out of the Startup folder. A portable copy runs from
# a folder of its own, started last so that its bar is the first that the setup finds.
printf 'an older build' >>"$dir/KELMAR32.EXE"
rm "$menu/StartUp/Kelmar.lnk"
cp "$dir/apps.dat" "$work/before.dat"
KELMAR_EXE=$dir/KELMAR32.EXE launch_kelmar "$dir"
wait_window Kelmar "$BAR_TEST" >/dev/null || fail "no bar for the update"
mkdir "$work/portable"
cp "$build/KELMAR32.EXE" "$work/portable/"
(cd "$work/portable" && exec "$E2E_ROOT/scripts/wine-run" KELMAR32.EXE) &
portable=$!
bars() { xdotool search --onlyvisible --name '^Kelmar$' | wc -l; }
for _ in $(seq 100); do [ "$(bars)" -ge 2 ] && break; sleep 0.2; done
[ "$(bars)" = 2 ] || fail "no bar for the portable copy"
win "$build/drive.exe" add-menu 1 Updated || fail "could not add a menu"
# User Menus closes while the bar is made anew, a moment before the save.
for _ in $(seq 100); do grep -q Updated "$dir/apps.dat" && break; sleep 0.1; done
grep -q Updated "$dir/apps.dat" || fail "the new menu was not saved"
cp "$dir/apps.dat" "$work/changed.dat"
cp "$work/before.dat" "$dir/apps.dat"  # only Kelmar's own save as it ends can bring the new menu back
win "$setup" /S || fail "the update ended with exit code $?"
wait_exit 20 || fail "the update did not end Kelmar"
[ "$KELMAR_EXIT" = 0 ] || fail "Kelmar ended with exit code $KELMAR_EXIT"
cmp -s "$work/changed.dat" "$dir/apps.dat" || fail "apps.dat is not the catalogue Kelmar saved as it ended"
cmp -s "$build/KELMAR32.EXE" "$dir/KELMAR32.EXE" || fail "the update did not replace KELMAR32.EXE"
{ [ -e "$menu/Kelmar.lnk" ] && [ ! -e "$menu/StartUp/Kelmar.lnk" ]; } || fail "the update did not keep the user's shortcuts"
pass "update while Kelmar runs: it ended and saved, apps.dat kept as saved, new EXE, no Startup shortcut again"
# Only the installed Kelmar was closed, and the update started it again in its folder. (A process
# that has ended stays a zombie until the shell waits for it.)
grep -q '^State:[[:space:]]*[^Z]' "/proc/$portable/status" 2>/dev/null || fail "the update ended the portable copy too"
for _ in $(seq 100); do [ "$(bars)" -ge 2 ] && break; sleep 0.2; done
# The restarted one, found among this prefix's processes by its command line.
restarted=
for pid in $(pgrep -f 'Programs.Kelmar.KELMAR32'); do
    tr '\0' '\n' <"/proc/$pid/environ" 2>/dev/null | grep -qxF "WINEPREFIX=$WINEPREFIX" && restarted=$pid
done
[ -n "$restarted" ] || fail "the update did not start Kelmar again"
[ "$(bars)" = 2 ] || fail "the restarted Kelmar shows no bar"
pass "the update left the portable copy running and started the installed Kelmar again"
# drive.exe counts the copies in the order they started: the portable one, then the restarted one.
{ win "$build/drive.exe" exit 2 && win "$build/drive.exe" exit 1; } || fail "could not end both copies"
wait "$portable"
wait_gone Kelmar || fail "the copies of Kelmar did not end"

# Folders given with /D=: one that cannot be refused with exit code 2 and nothing made; one written
# with "/" and doubled "\" is where Kelmar moves, with its menus.
for bad in 'Tools\Relative' 'C:\Tools\CON' 'C:\Tools\a|b'; do
    win "$setup" /S "/D=$bad" 2>/dev/null
    code=$?
    [ "$code" = 2 ] || fail "/D=$bad ended with exit code $code"
done
[ ! -e "$WINEPREFIX/drive_c/Tools" ] || fail "a refused folder was made: $(find "$WINEPREFIX/drive_c/Tools")"
entry
[ "$(unix "$(value InstallLocation)")" -ef "$dir" ] || fail "a refused folder changed the entry"
pass "relative, device-named and badly named folders are refused with exit code 2; nothing made or changed"
win "$setup" /S "/D=C:/Tools//Kelmar\\" || fail "the move ended with exit code $?"
old=$dir
dir=$WINEPREFIX/drive_c/Tools/Kelmar
entry
where=$(value InstallLocation)
[ "$where" = 'C:\Tools\Kelmar' ] || fail "moved to \"$where\", not C:\Tools\Kelmar"
[ "$(listing "$dir")" = "KELMAR32.EXE KELMENUS.EXE LICENSE.TXT README.TXT Uninstall.exe apps.dat " ] \
    || fail "the new folder holds: $(listing "$dir")"
cmp -s "$work/changed.dat" "$dir/apps.dat" || fail "the menus did not come along"
[ ! -e "$old" ] || fail "the old folder still holds: $(listing "$old")"
[ "$(shortcut "$menu/Kelmar.lnk")" = "$where\KELMAR32.EXE"$'\n'"$where" ] || fail "the Start-menu shortcut was not moved"
[ "$(value UninstallString)" = "\"$where\\Uninstall.exe\"" ] || fail "the entry was not moved"
pass "/D=C:/Tools//Kelmar\\ moves Kelmar to $where with its menus; the old folder is gone"

# Windows command lines as a user or a deployment tool types them: Wine would quote an argument that
# holds a space, so the line goes through cmd, which runs it as written and ends with its exit code.
line() { printf '@%s\r\n' "$1" >"$WINEPREFIX/drive_c/line.cmd"; win cmd /c 'C:\line.cmd'; }
setup_line="\"Z:${setup//\//\\}\" /S"

# NSIS's own form, /D= unquoted and last, with a space in the folder, onto a drive whose top folder is
# empty (a subst drive, a freshly formatted stick): the nearest folder that exists is that empty top.
mkdir "$work/k"
ln -s "$work/k" "$WINEPREFIX/dosdevices/k:"
line "$setup_line /D=K:\\My Kelmar" 2>/dev/null || fail "the move onto an empty drive ended with exit code $?"
entry
[ "$(value InstallLocation)" = 'K:\My Kelmar' ] || fail "/D=K:\\My Kelmar installed in \"$(value InstallLocation)\""
cmp -s "$work/changed.dat" "$work/k/My Kelmar/apps.dat" || fail "the menus did not come along to K:"
pass "/D=K:\\My Kelmar, unquoted on a drive whose top folder was empty, moves Kelmar there with its menus"
# The whole argument quoted, as PowerShell passes one with a space and deployment tools do.
win "$setup" /S '/D=C:\My Apps\Kelmar' || fail "the quoted /D= ended with exit code $?"
dir="$WINEPREFIX/drive_c/My Apps/Kelmar"
entry
where=$(value InstallLocation)
[ "$where" = 'C:\My Apps\Kelmar' ] || fail "\"/D=C:\\My Apps\\Kelmar\" installed in \"$where\""
[ "$(listing "$dir")" = "KELMAR32.EXE KELMENUS.EXE LICENSE.TXT README.TXT Uninstall.exe apps.dat " ] \
    || fail "the new folder holds: $(listing "$dir")"
cmp -s "$work/changed.dat" "$dir/apps.dat" || fail "the menus did not come along"
[ ! -e "$work/k/My Kelmar" ] || fail "the old folder still holds: $(listing "$work/k/My Kelmar")"
pass "\"/D=C:\\My Apps\\Kelmar\" as one argument moves Kelmar there with its menus"

# The registered folder is the install, whatever it holds: the setup run again after KELMAR32.EXE went
# (deleted by hand, taken by an antivirus), or after an earlier setup was cut short between renaming
# a file to .old and the new one into its place, finishes the job there with the user's menus.
whole() {  # WHAT: one whole install of this build in the registered folder, with the user's menus
    entry
    [ "$(value InstallLocation)" = "$where" ] || fail "$1: the entry names \"$(value InstallLocation)\", not $where"
    [ "$(listing "$dir")" = "KELMAR32.EXE KELMENUS.EXE LICENSE.TXT README.TXT Uninstall.exe apps.dat " ] \
        || fail "$1: the folder holds: $(listing "$dir")"
    cmp -s "$build/KELMAR32.EXE" "$dir/KELMAR32.EXE" || fail "$1: KELMAR32.EXE is not this build's"
    cmp -s "$work/changed.dat" "$dir/apps.dat" || fail "$1: apps.dat is not the user's"
    [ "$(shortcut "$menu/Kelmar.lnk")" = "$where\KELMAR32.EXE"$'\n'"$where" ] || fail "$1: the shortcut points elsewhere"
}
rm "$dir/KELMAR32.EXE"
win "$setup" /S || fail "the repair ended with exit code $?"
whole "after KELMAR32.EXE was deleted"
mv "$dir/README.TXT" "$dir/README.TXT.old"
head -c 1000 "$build/KELMAR32.EXE" >"$dir/KELMAR32.EXE.new"
win "$setup" /S || fail "the setup after one cut short ended with exit code $?"
whole "after an update cut short between its renames"
pass "KELMAR32.EXE deleted, or an update cut short between renames: the setup repairs in place with the menus"

# A kill at each step of an update (each file made, renamed or deleted in the folder): the registered
# folder still holds one whole install, old or new, and the setup run again finishes it there.
step=0
while :; do
    step=$((step + 1))
    printf 'an older build' >>"$dir/KELMAR32.EXE"
    cp "$dir/KELMAR32.EXE" "$work/older.exe"
    /usr/bin/python3 "$(dirname "$0")/kill_at_step.py" "$dir" "$step" "$E2E_ROOT/scripts/wine-run" "$setup" /S >"$work/kill.log"
    code=$?
    [ "$code" = 3 ] && break
    [ "$code" = 0 ] || fail "killing the update at step $step: exit code $code, $(cat "$work/kill.log")"
    entry
    [ "$(value InstallLocation)" = "$where" ] || fail "killed at step $step, the entry names \"$(value InstallLocation)\""
    for file in KELMENUS.EXE LICENSE.TXT README.TXT Uninstall.exe; do
        [ -s "$dir/$file" ] || fail "killed at step $step, the folder has no $file: $(listing "$dir")"
    done
    cmp -s "$build/KELMAR32.EXE" "$dir/KELMAR32.EXE" || cmp -s "$work/older.exe" "$dir/KELMAR32.EXE" \
        || fail "killed at step $step, KELMAR32.EXE is neither the old one nor the new: $(listing "$dir")"
    win "$setup" /S || fail "the setup after a kill at step $step ended with exit code $?"
    whole "killed at step $step and run again"
done
grep -q 'exit code 0' "$work/kill.log" || fail "the update not killed: $(cat "$work/kill.log")"
[ "$step" -gt 8 ] || fail "the update made only $((step - 1)) changes in the folder"
pass "an update killed at each of its $((step - 1)) steps leaves a whole registered install, finished by the next run"

# An interactive update while a dialog of Kelmar's holds the user's unsaved work: the setup leaves it
# open, brings it to the front and asks, its question beside the dialog (Windows would centre it, over
# the dialog), and goes on once the user has finished it there and clicked Retry.
KELMAR_EXE=$dir/KELMAR32.EXE launch_kelmar "$dir"
wait_window Kelmar "$BAR_TEST" >/dev/null || fail "no bar for the interactive update"
win "$build/drive.exe" type-menu 1 Unsaved || fail "could not open Menu Setup"
dialog=$(wait_window "Menu Setup" 'w > 100') || fail "no Menu Setup"
rect() { xdotool getwindowgeometry --shell "$1" | awk -F= '{v[$1]=$2} END {print v["X"], v["Y"], v["X"] + v["WIDTH"], v["Y"] + v["HEIGHT"]}'; }
apart() { echo "$1 $2" | awk '{exit !($3 <= $5 || $7 <= $1 || $4 <= $6 || $8 <= $2)}'; }
centre=$(xdpyinfo | awk '/dimensions:/ {split($2, d, "x"); print d[1] / 2, d[2] / 2, d[1] / 2 + 1, d[2] / 2 + 1}')
apart "$(rect "$dialog")" "$centre" && fail "Menu Setup is not at the centre of the screen, so this test cannot show where the question goes"
# Kelmar's windows take keys once clicked, as a user clicks them.
answer() { eval "$(xdotool getwindowgeometry --shell "$1")"; xdotool mousemove $((X + WIDTH / 2)) $((Y + 8)) click 1; sleep 0.3; xdotool key --clearmodifiers "${@:2}"; }
win "$setup" &
setup_pid=$!
page=$(wait_window "Kelmar Setup" 'w > 500' 30) || fail "the setup shows no window"
for shown in "already installed" "rest of the licence" "Choose Install Location" "Choose Shortcuts"; do
    screen_says "$shown" || fail "the setup did not come to \"$shown\"; it shows: $(boxes)"
    answer "$page" Return
done
screen_says 'its window "Menu Setup" is open' || fail "the setup did not ask to finish Menu Setup; the screen shows: $(boxes)"
box=$(wait_window "Kelmar Setup" 'w < 500') || fail "no question about Menu Setup"
sleep 1  # the question moves once it shows
screenshot setup-dialog-open
kill -0 "$KELMAR_PID" 2>/dev/null || fail "the setup closed Kelmar under its open Menu Setup"
dialog=$(wait_window "Menu Setup" 'w > 100') || fail "Menu Setup was closed under the user"
editor=$(wait_window "User Menus" 'w > 100') || fail "User Menus was closed under the user"
{ apart "$(rect "$box")" "$(rect "$dialog")" && apart "$(rect "$box")" "$(rect "$editor")"; } \
    || fail "the question ($(rect "$box")) covers Menu Setup ($(rect "$dialog")) or User Menus ($(rect "$editor"))"
answer "$dialog" Return
answer "$editor" Return
wait_until 20 "Unsaved in apps.dat" grep -q Unsaved "$dir/apps.dat" || fail "OK in User Menus did not save"
cp "$dir/apps.dat" "$work/changed.dat"
answer "$box" Return  # Retry
wait_exit 20 || fail "Retry did not end Kelmar"
screen_says "Completing" || fail "the update did not come to its end; the screen shows: $(boxes)"
cmp -s "$work/changed.dat" "$dir/apps.dat" || fail "apps.dat is not what Kelmar saved"
answer "$page" Return  # Finish, which starts Kelmar again
wait "$setup_pid" || fail "the interactive update ended with exit code $?"
wait_window Kelmar "$BAR_TEST" >/dev/null || fail "the finish page did not start Kelmar again"
win "$build/drive.exe" exit 1 || fail "could not end Kelmar"
wait_gone Kelmar || fail "Kelmar did not end"
pass "an interactive update leaves Menu Setup open, asks beside it, and goes on with the user's work saved"

# The silent uninstall as the entry registers it, run in place: its exit code is that of the uninstall.
# While Kelmar cannot close (its first-run box waits for an answer), it ends with 2 and changes nothing.
quiet=$(value QuietUninstallString)
uninstaller=${quiet#\"}
uninstaller=${uninstaller%%\"*}
cp "$(unix "$uninstaller")" "$work/Uninstall.exe"
rm "$WINDOWS_DIR/kelmar.ini"
KELMAR_EXE=$dir/KELMAR32.EXE launch_kelmar "$dir"
box=$(wait_window Kelmar "$BOX_TEST" 60) || fail "no thanks box"
entry
cp "$work/entry" "$work/entry.before"
line "$quiet"
code=$?
[ "$code" = 2 ] || fail "the silent uninstall while Kelmar could not close ended with exit code $code"
entry
cmp -s "$work/entry" "$work/entry.before" || fail "the uninstall that gave up changed the entry"
[ "$(listing "$dir")" = "KELMAR32.EXE KELMENUS.EXE LICENSE.TXT README.TXT Uninstall.exe apps.dat " ] \
    || fail "the uninstall that gave up changed the folder: $(listing "$dir")"
[ -e "$menu/Kelmar.lnk" ] || fail "the uninstall that gave up removed the shortcut"
pass "the registered silent uninstall ends with exit code 2 while Kelmar cannot close, and changes nothing"
press "$box" Return
bar=$(wait_window Kelmar "$BAR_TEST") || fail "no bar after the thanks box"
press "$bar" ctrl+x
wait_exit 20 || fail "Ctrl+X did not end Kelmar"
# Now it goes through: 0, with everything but the menus gone when it ends, and the uninstaller itself,
# which a running program cannot delete, a moment later.
line "$quiet" || fail "the silent uninstall ended with exit code $?"
entry
[ -z "$(value DisplayName)" ] || fail "the entry under Apps and features is still there"
[ ! -e "$menu/Kelmar.lnk" ] && [ ! -e "$menu/StartUp/Kelmar.lnk" ] && [ ! -e "$menu/Make Kelmar's menus from the Start menu.lnk" ] \
    || fail "shortcuts left behind"
for file in KELMAR32.EXE KELMENUS.EXE README.TXT LICENSE.TXT; do [ ! -e "$dir/$file" ] || fail "$file left behind"; done
for _ in $(seq 60); do [ "$(listing "$dir")" = "apps.dat " ] && break; sleep 0.5; done
[ "$(listing "$dir")" = "apps.dat " ] || fail "after the uninstall the folder holds: $(listing "$dir")"
cmp -s "$work/changed.dat" "$dir/apps.dat" || fail "the uninstall changed apps.dat"
[ -e "$WINDOWS_DIR/kelmar.ini" ] || fail "the uninstall removed kelmar.ini"
pass "the registered silent uninstall ends with 0: program files, shortcuts and entry gone; apps.dat and kelmar.ini kept"
# Once more, after the folder was deleted by hand: it ends cleanly and makes nothing.
rm -r "$dir"
line "\"Z:${work//\//\\}\\Uninstall.exe\" /S _?=C:\\My Apps\\Kelmar" || fail "the uninstaller run again ended with exit code $?"
[ ! -e "$dir" ] || fail "the uninstaller run again made $dir"
pass "the uninstaller run again after the folder was deleted ends with exit code 0"

# A full disk during an update, and a read-only folder: nothing changes, and the setup says so.
mkdir "$mnt"
if [ "$(id -u)" -eq 0 ] && mount -t tmpfs -o size=512k tmpfs "$mnt" 2>/dev/null; then
    target="Z:${mnt//\//\\}"
    # (Wine says on standard error that this disk has no volume label.)
    win "$setup" /S "/D=$target\\Kelmar" 2>/dev/null || fail "the install on the small disk ended with exit code $?"
    echo menus >"$mnt/Kelmar/apps.dat"
    (cd "$mnt/Kelmar" && sha256sum ./*) >"$work/sums"
    dd if=/dev/zero of="$mnt/filler" bs=4k 2>/dev/null
    truncate -s -16k "$mnt/filler"  # less room than the new EXE takes
    win "$setup" /S 2>/dev/null && fail "the update on a full disk said it succeeded"
    (cd "$mnt/Kelmar" && sha256sum ./*) | cmp -s - "$work/sums" \
        || fail "the update on a full disk changed the install: $(listing "$mnt/Kelmar")"
    pass "an update on a full disk fails and leaves the old install and its menus as they were"
    # The folder page of the interactive setup refuses a read-only folder and asks again.
    rm "$mnt/filler"  # room enough, so that only the folder's being read-only stands in the way
    mount -o remount,ro "$mnt"
    win "$setup" "/D=$target\\Elsewhere" 2>/dev/null &
    setup_pid=$!
    page=$(wait_window "Kelmar Setup" 'w > 500' 30) || fail "the setup shows no window"
    for shown in "Setup will move it to" "rest of the licence" "Choose Install Location" "You cannot save files in"; do
        screen_says "$shown" || fail "the setup did not come to \"$shown\"; it shows: $(boxes)"
        [ "$shown" = "You cannot save files in" ] || press "$page" Return
    done
    box=$(wait_window "Kelmar Setup" 'w < 500') || fail "no message box about the read-only folder"
    screenshot setup-read-only-folder
    press "$box" Return
    for _ in $(seq 60); do boxes | grep -qF "You cannot save files in" || break; sleep 0.5; done
    shown=$(boxes)
    [[ $shown == *"Choose Install Location"* && $shown != *"You cannot save files in"* ]] \
        || fail "the folder page is not there to choose again; the screen shows: $shown"
    press "$page" Escape
    box=$(wait_window "Kelmar Setup" 'w < 500') || fail "Cancel does not ask whether to quit"
    press "$box" Return
    wait "$setup_pid"
    [ $? = 1 ] || fail "the cancelled setup ended with another exit code than 1"
    [ ! -e "$mnt/Elsewhere" ] || fail "the setup made a folder it cannot write in"
    pass "the folder page says so of a read-only folder and asks again; cancelled, it makes nothing"
else
    echo "     (a full disk and a read-only folder need root and the right to mount: not tried)"
fi
echo "1 passed, 0 failed"
