#!/usr/bin/env bash
# Menus from the desktop's applications, through the unpacked Debian package started by a relative path
# from a folder whose name holds spaces: the first run imports a desktop-entry tree made here (categories,
# NoDisplay, Hidden, OnlyShowIn, TryExec, Terminal, field codes, a long ID and Exec, one ID in both folders,
# "&", a translated name with accents, a broken file) and the apps.dat it writes is compared with what the
# rules give; an imported entry chosen on the bar starts its program with its arguments in its folder and
# the session's environment; one whose application was removed says so; kelmar --import is refused while
# Kelmar runs, and afterwards makes the menus again, keeping the old ones as apps.dat.bak.
# Usage: test_import.sh kelmar_VERSION-1_amd64.deb
deb=$(readlink -f "${1:?usage: $0 kelmar_VERSION-1_amd64.deb}")
tree=$(mktemp -d "${TMPDIR:-/tmp}/kelmar import.XXXXXX")
dpkg-deb -x "$deb" "$tree/pkg" || { echo "FAIL: dpkg-deb cannot unpack $deb" >&2; exit 1; }
set -- "$tree/pkg/usr/lib/kelmar/KELMAR32.EXE"
. "$(dirname "$0")/../e2e/lib.sh"
set -o pipefail

home=$tree/home data=$tree/data folder=$tree/data/kelmar
mkdir -p "$home" "$tree/bin" "$tree/work dir" "$data/applications" "$tree/system/applications"
cleanup() {
    [ -n "$KELMAR_PID" ] && kill "$KELMAR_PID" 2>/dev/null
    [ -d "$folder/wineprefix" ] && WINEPREFIX=$folder/wineprefix "$WINESERVER" -k 2>/dev/null
    rm -rf "$tree"
    declare -F kelmar_wine_stop >/dev/null && kelmar_wine_stop
}
trap cleanup EXIT

# The marker program writes down its arguments, its folder and what Wine would have added to its
# environment; notify-send stands in for the desktop's notifications.
cat >"$tree/bin/marker" <<'SH'
#!/bin/sh
{ printf '%s\n' "$@"; pwd; echo "WINEPREFIX=${WINEPREFIX-unset} windir=${windir-unset}"; } >"$MARKER_OUT.part"
mv "$MARKER_OUT.part" "$MARKER_OUT"
SH
# shellcheck disable=SC2016 # expanded by the script written
printf '#!/bin/sh\nprintf "%%s|" "$@" >>"$MARKER_OUT.notified"\necho >>"$MARKER_OUT.notified"\n' >"$tree/bin/notify-send"
chmod +x "$tree/bin/marker" "$tree/bin/notify-send"

entry() {  # FOLDER ID LINE...: a desktop entry of type Application with the lines given
    local file=$tree/$1/applications/$2
    shift 2
    printf '%s\n' '[Desktop Entry]' 'Type=Application' "$@" >"$file"
}
long_id=org.example.AVeryLongApplicationIdentifier.Editor
entry system web.desktop 'Name=Web Browser' 'Exec=true %u' 'Categories=GTK;Network;WebBrowser;'
entry system marker.desktop 'Name=Marker & Co' "Exec=\"$tree/bin/marker\" one \"two words\" %U" "Path=$tree/work dir" \
    'Categories=Utility;'
entry system gone.desktop 'Name=Gone App' 'Exec=true' 'Categories=Utility;'
entry system dup.desktop 'Name=Editor (system)' 'Exec=true' 'Categories=Utility;'
entry data dup.desktop 'Name=Editor (mine)' 'Exec=true' 'Categories=Utility;'
entry system hidden.desktop 'Name=Hidden App' 'Exec=true' 'Categories=Utility;'
entry data hidden.desktop 'Name=Hidden App' 'Exec=true' 'Hidden=true'
entry system nodisplay.desktop 'Name=No Display' 'Exec=true' 'NoDisplay=true' 'Categories=Utility;'
entry system onlykde.desktop 'Name=Only KDE' 'Exec=true' 'OnlyShowIn=KDE;' 'Categories=Utility;'
entry system tryexec.desktop 'Name=Try Exec' 'Exec=true' 'TryExec=/nonexistent/program' 'Categories=Utility;'
entry system term.desktop 'Name=Terminal Game' 'Exec=true --play' 'Terminal=true' 'Categories=Game;'
entry system "$long_id.desktop" 'Name=Long Editor' "Exec=true $(printf 'argument%.0s ' {1..12})%F" 'Categories=Office;'
entry system viewer.desktop 'Name=Image Viewer' 'Name[de]=Bildbetrachter für Fotos' 'Exec=true %f' 'Categories=Graphics;'
printf '\x7fELF\x00\x01junk\xff\xfe' >"$tree/system/applications/broken.desktop"

# The session of a German XFCE user with this tree as the desktop's applications.
session() {
    env -u WINEPREFIX -u WINELOADER -u WINESERVER -u WINEDLLOVERRIDES HOME="$home" XDG_DATA_HOME="$data" \
        XDG_CONFIG_HOME="$home/config" XDG_DATA_DIRS="$tree/system" XDG_CURRENT_DESKTOP=XFCE LC_ALL=de_DE.UTF-8 \
        PATH="$tree/bin:$PATH" MARKER_OUT="$tree/marker.out" "$@"
}

# apps.dat as lines: menu | name | path | folder | parameters, the names read in code page 1252.
catalogue() {
    /usr/bin/python3 - "$1" <<'PY'
import struct, sys
data = open(sys.argv[1], 'rb').read()
text = lambda b: b.split(b'\0')[0].decode('cp1252')
at = 0
while at + 48 <= len(data):
    menu, count = text(data[at:at + 32]), struct.unpack('<i', data[at + 32:at + 36])[0]
    at += 48
    for _ in range(count):
        app = data[at:at + 228]
        print(' | '.join([menu, text(app[190:220]), text(app[0:80]), text(app[80:160]), text(app[160:190])]))
        at += 228
PY
}
# The key for an ID too long for Parameters: its first 20 characters, "~" and its FNV-1a hash.
long_key=$(/usr/bin/python3 -c '
import sys
h = 2166136261
for c in sys.argv[1].encode(): h = ((h ^ c) * 16777619) % 2**32
print("%s~%08x" % (sys.argv[1][:20], h))' "$long_id.desktop")
# start-app by the name Wine 8 and Wine 10 both start: through drive Z:, with backslashes.
start_app=$tree/pkg/usr/lib/kelmar/start-app
start_app=Z:${start_app//\//\\}
expected() {  # the rules' menus, less the apps named
    printf '%s\n' "&Internet | &Web Browser | $start_app |  | web" \
        "&Office | &Long Editor | $start_app |  | $long_key" \
        "&Graphics | &Bildbetrachter für Fotos | $start_app |  | viewer" \
        "G&ames | &Terminal Game | $start_app |  | term" \
        "&Utilities | &Editor (mine) | $start_app |  | dup" \
        "&Utilities | &Gone App | $start_app |  | gone" \
        "&Utilities | &Marker && Co | $start_app |  | marker" | grep -v "${1:-^$}"
}

# First run, started by a relative path: Wine is set up, then the menus are made, then the bar comes.
(cd "$tree" && session ./pkg/usr/bin/kelmar >"$tree/out" 2>&1) &
KELMAR_PID=$!
box=$(wait_window Kelmar "$BOX_TEST" 300) || fail "no thanks box on the first run; the launcher said: $(cat "$tree/out")"
press "$box" Return
bar=$(wait_window Kelmar "$BAR_TEST") || fail "no bar; the launcher said: $(cat "$tree/out")"
grep -q "^Made 5 menus of 7 applications" "$tree/out" || fail "the first run said: $(cat "$tree/out")"
diff <(expected) <(catalogue "$folder/apps.dat") >&2 || fail "the first run's apps.dat differs from the rules' menus (< rules, > written)"
pass "first run from a relative path with spaces: menus made from the desktop entries by the freedesktop rules"

press "$bar" alt+u
sleep 1
screenshot import-popup
xdotool key m
for _ in $(seq 200); do [ -e "$tree/marker.out" ] && break; sleep 0.1; done
[ -e "$tree/marker.out" ] || fail "choosing Marker && Co did not start the marker; the launcher said: $(cat "$tree/out")"
[ "$(cat "$tree/marker.out")" = "$(printf '%s\n' one 'two words' "$tree/work dir" 'WINEPREFIX=unset windir=unset')" ] \
    || fail "the marker saw: $(cat "$tree/marker.out")"
pass "an imported entry starts its program with its arguments (field code dropped), in its Path, in the session's environment"

rm "$tree/system/applications/gone.desktop"
press "$bar" alt+u
sleep 0.5
xdotool key g
wait_until 20 "the message on standard error" grep -q 'kelmar: cannot start gone: the application is no longer installed' "$tree/out" \
    || fail "no message on standard error for a removed application: $(cat "$tree/out")"
wait_until 20 "the notification" grep -q '^--app-name=Kelmar|.*|Kelmar|cannot start gone: the application is no longer installed' "$tree/marker.out.notified" \
    || fail "no notification for a removed application: $(cat "$tree/marker.out.notified" 2>/dev/null)"
pass "an entry whose application was removed says so on standard error and as a notification"

cp "$folder/apps.dat" "$tree/running.dat"
status=0
session "$tree/pkg/usr/bin/kelmar" --import >"$tree/import.out" 2>"$tree/import.err" || status=$?
[ "$status" = 1 ] || fail "--import while Kelmar runs: exit code $status"
grep -q '^kelmar: Kelmar is running with the data folder' "$tree/import.err" || fail "--import while Kelmar runs said: $(cat "$tree/import.err")"
{ cmp -s "$folder/apps.dat" "$tree/running.dat" && [ ! -e "$folder/apps.dat.bak" ]; } || fail "--import while Kelmar runs touched apps.dat"
pass "--import while Kelmar runs: refused with a message and exit code 1, apps.dat untouched"

press "$bar" ctrl+x
wait_exit 30 || fail "Ctrl+X did not end Kelmar"
[ "$KELMAR_EXIT" = 0 ] || fail "exit code $KELMAR_EXIT; the launcher said: $(cat "$tree/out")"

# Again on request, through a relative symbolic link: the removed application is gone from the menus.
cp "$folder/apps.dat" "$tree/before.dat"
ln -s pkg/usr/bin/kelmar "$tree/kelmar link"
(cd "$tree" && session "./kelmar link" --import) >"$tree/import.out" 2>"$tree/import.err" \
    || fail "--import failed: $(cat "$tree/import.err")"
cmp -s "$folder/apps.dat.bak" "$tree/before.dat" || fail "apps.dat.bak is not the previous apps.dat"
diff <(expected '| gone$') <(catalogue "$folder/apps.dat") >&2 || fail "--import's apps.dat differs from the rules' menus"
for said in "Made 5 menus of 6 applications" "The previous menus are in $folder/apps.dat.bak." \
        "Left out, not in this desktop's menus (NoDisplay, OnlyShowIn, NotShowIn): nodisplay.desktop, onlykde.desktop" \
        "Left out, Hidden: hidden.desktop" "Left out, unreadable, no application, or its TryExec program is missing: broken.desktop, tryexec.desktop"; do
    grep -qF "$said" "$tree/import.out" || fail "--import did not say \"$said\"; it said: $(cat "$tree/import.out")"
done
pass "--import makes the menus again, keeps the previous ones as apps.dat.bak and says what it left out and why"
echo "1 passed, 0 failed"
