#!/usr/bin/env bash
# Menus from the desktop's applications, through the unpacked Debian package started by a relative path
# from a folder whose name holds spaces: the first run imports a desktop-entry tree made here (categories,
# NoDisplay, Hidden, OnlyShowIn, TryExec, Terminal, field codes, a long ID and Exec, one ID in both folders,
# "&", a translated name with accents, a broken file) and the apps.dat it writes is compared with what the
# rules give; an imported entry chosen on the bar starts its program with its arguments in its folder, one
# without a Path in the home folder with the session's environment byte for byte; two IDs whose keys
# were once one start two programs; a D-Bus activatable entry opens (a service of this test's on a
# private session bus); one whose application was removed says so (a notification, standard error,
# start-app.log); kelmar --import is refused while Kelmar runs; the end of the session after an Options
# change ends Kelmar as Exit does, the change kept, quietly; afterwards --import makes the menus again,
# keeping the old ones as apps.dat.bak; a hand-made change survives a further import, in apps.dat.bak
# with the menus before it in apps.dat.bak.1.
# The prefix made under German is then started under Japanese: the names show in a font that has them,
# not as boxes; and at 192 dpi (Xft.dpi) the bar is drawn at about twice its height at 96. Menus made
# under Russian keep their names under Japanese and become readable under English.
# Usage: test_import.sh kelmar_VERSION-1_amd64.deb
deb=$(readlink -f "${1:?usage: $0 kelmar_VERSION-1_amd64.deb}")
tree=$(mktemp -d "${TMPDIR:-/tmp}/kelmar import.XXXXXX")
dpkg-deb -x "$deb" "$tree/pkg" || { echo "FAIL: dpkg-deb cannot unpack $deb" >&2; exit 1; }
set -- "$tree/pkg/usr/lib/kelmar/KELMAR32.EXE"
. "$(dirname "$0")/../e2e/lib.sh"
set -o pipefail

home=$tree/home data=$tree/data folder=$tree/data/kelmar
mkdir -p "$home" "$tree/bin" "$tree/work dir" "$data/applications" "$tree/system/applications"
holder=
cleanup() {
    [ -n "$KELMAR_PID" ] && kill "$KELMAR_PID" 2>/dev/null
    [ -s "$tree/bus.pid" ] && kill "$(cat "$tree/bus.pid")" 2>/dev/null
    if [ -n "$holder" ]; then
        xrdb -nocpp -remove 2>/dev/null
        kill "$holder" 2>/dev/null
    fi
    [ -d "$folder/wineprefix" ] && WINEPREFIX=$folder/wineprefix "$WINESERVER" -k 2>/dev/null
    rm -rf "$tree"
    declare -F kelmar_wine_stop >/dev/null && kelmar_wine_stop
}
trap cleanup EXIT

# The marker program writes down its arguments, its folder and what Wine would have added to its
# environment; envdump its folder and its whole environment (NUL-ended entries).
cat >"$tree/bin/marker" <<'SH'
#!/bin/sh
{ printf '%s\n' "$@"; pwd; echo "WINEPREFIX=${WINEPREFIX-unset} windir=${windir-unset}"; } >"$MARKER_OUT.part"
mv "$MARKER_OUT.part" "$MARKER_OUT"
SH
cat >"$tree/bin/envdump.py" <<'PY'
import os, sys
with open(sys.argv[1] + '.part', 'wb') as out:
    out.write(os.getcwdb() + b'\0' + b''.join(k + b'=' + v + b'\0' for k, v in os.environb.items()))
os.rename(sys.argv[1] + '.part', sys.argv[1])
PY
chmod +x "$tree/bin/marker"

# A private session bus whose services are the desktop's notifications, which write down what they are
# told, and a D-Bus activatable application, which writes down that it was activated.
mkdir -p "$tree/services"
mkdir -m 700 "$tree/run"
cat >"$tree/bin/notifications.py" <<'PY'
import os, sys, gi
os.environ['DBUS_SESSION_BUS_ADDRESS'] = os.environ['DBUS_STARTER_ADDRESS']  # the bus that started it
gi.require_version('Gio', '2.0')
from gi.repository import Gio, GLib
xml = ('<node><interface name="org.freedesktop.Notifications"><method name="Notify">' +
       ''.join('<arg type="%s" direction="in"/>' % t for t in ['s', 'u', 's', 's', 's', 'as', 'a{sv}', 'i']) +
       '<arg type="u" direction="out"/></method></interface></node>')
def call(bus, sender, path, interface, method, parameters, invocation):
    app, _, icon, summary, body = parameters.unpack()[:5]
    with open(sys.argv[1], 'a') as out:
        out.write('|'.join([app, icon, summary, body]) + '\n')
    invocation.return_value(GLib.Variant('(u)', (1,)))
def acquired(bus, name):
    bus.register_object('/org/freedesktop/Notifications', Gio.DBusNodeInfo.new_for_xml(xml).interfaces[0], call)
Gio.bus_own_name(Gio.BusType.SESSION, 'org.freedesktop.Notifications', 0, acquired, None, None)
GLib.MainLoop().run()
PY
cat >"$tree/bin/activatable.py" <<'PY'
import os, sys, gi
os.environ['DBUS_SESSION_BUS_ADDRESS'] = os.environ['DBUS_STARTER_ADDRESS']
gi.require_version('Gio', '2.0')
from gi.repository import Gio
app = Gio.Application(application_id='org.example.Activatable', flags=Gio.ApplicationFlags.IS_SERVICE)
app.set_inactivity_timeout(20000)
def activated(app):
    with open(sys.argv[1] + '.part', 'w') as out:
        out.write('activated\n')
    os.rename(sys.argv[1] + '.part', sys.argv[1])
app.connect('activate', activated)
app.run([sys.argv[0]])
PY
printf '%s\n' '[D-BUS Service]' 'Name=org.freedesktop.Notifications' \
    "Exec=/usr/bin/python3 \"$tree/bin/notifications.py\" \"$tree/notified\"" >"$tree/services/notifications.service"
printf '%s\n' '[D-BUS Service]' 'Name=org.example.Activatable' \
    "Exec=/usr/bin/python3 \"$tree/bin/activatable.py\" \"$tree/activated\"" >"$tree/services/activatable.service"
printf '%s\n' '<busconfig><type>session</type><listen>unix:tmpdir=/tmp</listen><auth>EXTERNAL</auth>' \
    "<servicedir>$tree/services</servicedir>" \
    '<policy context="default"><allow send_destination="*" eavesdrop="true"/><allow eavesdrop="true"/><allow own="*"/>' \
    '</policy></busconfig>' >"$tree/bus.conf"
dbus-daemon --config-file="$tree/bus.conf" --fork --print-address=3 --print-pid=4 3>"$tree/bus.address" 4>"$tree/bus.pid" \
    || fail "no private session bus"
bus=$(head -n1 "$tree/bus.address")

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
entry system envdump.desktop 'Name=Env Dump' "Exec=/usr/bin/python3 \"$tree/bin/envdump.py\" \"$tree/env.out\"" 'Categories=Development;'
# Two IDs whose 32-bit FNV-1a hashes, and so the keys of Kelmar's first release, are one.
collision=org.example.CollisionDemo.App
entry system "${collision}72001.desktop" 'Name=Collision One' "Exec=touch \"$tree/collision-one\"" 'Categories=Education;'
entry system "${collision}1357800.desktop" 'Name=Collision Two' "Exec=touch \"$tree/collision-two\"" 'Categories=Education;'
entry system org.example.Activatable.desktop 'Name=Activatable App' 'DBusActivatable=true' 'Exec=false' 'Categories=System;'
printf '\x7fELF\x00\x01junk\xff\xfe' >"$tree/system/applications/broken.desktop"

# The session of a German XFCE user with this tree as the desktop's applications, the private bus, and
# variables that Wine changes or loses: a name and a value with a newline, a value that is not UTF-8,
# names Wine sets itself, and the startup id of Kelmar's own start, which is not the application's.
session() {
    env -u WINEPREFIX -u WINELOADER -u WINESERVER -u WINEDLLOVERRIDES -u WINEDEBUG HOME="$home" XDG_DATA_HOME="$data" \
        XDG_CONFIG_HOME="$home/config" XDG_DATA_DIRS="$tree/system" XDG_CURRENT_DESKTOP=XFCE LC_ALL=de_DE.UTF-8 \
        PATH="$tree/bin:$PATH" MARKER_OUT="$tree/marker.out" DBUS_SESSION_BUS_ADDRESS="$bus" XDG_RUNTIME_DIR="$tree/run" \
        $'NAME\nWITH NEWLINE=one\ntwo' RAW=$'\xff\xfe' QT_IM_MODULE=fcitx USERNAME=alice windir=/sess/windir \
        WINEPATH=/sess/winepath KELMAR_SESSIONS=kept DESKTOP_STARTUP_ID=kelmar-own-start "$@"
}
# An environment as a sorted list of printable entries, from NUL-ended ones after the first SKIP; GIO's
# own variables and the startup id left out.
entries() {  # FILE SKIP
    /usr/bin/python3 -c '
import sys
entries = open(sys.argv[1], "rb").read().split(b"\0")[int(sys.argv[2]):-1]
skip = (b"GIO_LAUNCHED_DESKTOP_FILE=", b"GIO_LAUNCHED_DESKTOP_FILE_PID=", b"DESKTOP_STARTUP_ID=")
for entry in sorted(e for e in entries if not e.startswith(skip)): print(repr(entry))' "$@"
}

# The key for an ID too long for Parameters: its first 12 characters, "~" and 80 bits of its SHA-256.
key() {
    /usr/bin/python3 -c '
import base64, hashlib, sys
print("%s~%s" % (sys.argv[1][:12], base64.b32encode(hashlib.sha256(sys.argv[1].encode()).digest()[:10]).decode().lower()))' "$1"
}
long_key=$(key "$long_id.desktop")
# start-app by the name Wine 8 and Wine 10 both start: through drive Z:, with backslashes.
start_app=$tree/pkg/usr/lib/kelmar/start-app
start_app=Z:${start_app//\//\\}
expected() {  # the rules' menus, less the apps named
    printf '%s\n' "&Internet | &Web Browser | $start_app |  | web" \
        "&Office | &Long Editor | $start_app |  | $long_key" \
        "&Graphics | &Bildbetrachter für Fotos | $start_app |  | viewer" \
        "G&ames | &Terminal Game | $start_app |  | term" \
        "&Development | &Env Dump | $start_app |  | envdump" \
        "&Education | &Collision One | $start_app |  | $(key "${collision}72001.desktop")" \
        "&Education | Collision &Two | $start_app |  | $(key "${collision}1357800.desktop")" \
        "&System | &Activatable App | $start_app |  | org.example.Activatable" \
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
grep -q "^Made 8 menus of 11 applications" "$tree/out" || fail "the first run said: $(cat "$tree/out")"
diff <(expected) <(catalogue "$folder/apps.dat") >&2 || fail "the first run's apps.dat differs from the rules' menus (< rules, > written)"
pass "first run from a relative path with spaces: menus made from the desktop entries by the freedesktop rules"

press "$bar" alt+u
sleep 1
screenshot import-popup
xdotool key m
for _ in $(seq 200); do [ -e "$tree/marker.out" ] && break; sleep 0.1; done
[ -e "$tree/marker.out" ] || fail "choosing Marker && Co did not start the marker; the launcher said: $(cat "$tree/out")"
[ "$(cat "$tree/marker.out")" = "$(printf '%s\n' one 'two words' "$tree/work dir" 'WINEPREFIX=unset windir=/sess/windir')" ] \
    || fail "the marker saw: $(cat "$tree/marker.out")"
pass "an imported entry starts its program with its arguments (field code dropped), in its Path, in the session's environment"

wait_file() {  # FILE WHAT: waits for a file that a started program writes
    wait_until 30 "$1" test -e "$1" || fail "$2 started nothing; the launcher said: $(cat "$tree/out")"
}
(cd "$tree" && session /usr/bin/env -0) >"$tree/session.env"
press "$bar" alt+d
sleep 0.5
xdotool key e
wait_file "$tree/env.out" "choosing Env Dump"
[ "$(head -z -n1 "$tree/env.out" | tr -d '\0')" = "$home" ] || fail "Env Dump started in $(head -z -n1 "$tree/env.out" | tr -d '\0')"
diff <(entries "$tree/session.env" 0) <(entries "$tree/env.out" 1) >&2 \
    || fail "the application's environment is not the session's (< session, > application)"
records=$(find "$tree/run" -name 'kelmar-*.env.*' -perm 600 | wc -l)
[ "$records" = 1 ] || fail "$records records of the session, readable by the user alone, in XDG_RUNTIME_DIR: $(ls -l "$tree/run")"
pass "an entry without a Path starts in the home folder with the session's environment, byte for byte"

press "$bar" alt+e
sleep 0.5
xdotool key c
wait_file "$tree/collision-one" "choosing Collision One"
press "$bar" alt+e
sleep 0.5
xdotool key t
wait_file "$tree/collision-two" "choosing Collision Two"
# The first release's key names both: refused rather than guessed.
status=0
session "$tree/pkg/usr/lib/kelmar/start-app" org.example.Collisio~0e733e31 2>"$tree/start.err" || status=$?
{ [ "$status" = 1 ] && grep -q "names more than one installed application" "$tree/start.err"; } \
    || fail "an ambiguous key: exit code $status, $(cat "$tree/start.err")"
pass "two IDs whose keys were once one start two programs; a key naming both is refused"

press "$bar" alt+s
sleep 0.5
xdotool key a
wait_file "$tree/activated" "choosing the D-Bus activatable Activatable App"
pass "a D-Bus activatable entry chosen on the bar is activated"

# The ID as the desktop names it, ".desktop" and all; run by hand, start-app says it has no record.
rm "$tree/env.out"
session "$tree/pkg/usr/lib/kelmar/start-app" envdump.desktop 2>"$tree/start.err" || fail "start-app envdump.desktop: $(cat "$tree/start.err")"
wait_file "$tree/env.out" "start-app envdump.desktop"
grep -q "no record of the session's environment" "$tree/start.err" || fail "start-app without a record said: $(cat "$tree/start.err")"
pass "start-app takes the ID with or without .desktop, and says when it has no record of the session"

rm "$tree/system/applications/gone.desktop"
press "$bar" alt+u
sleep 0.5
xdotool key g
wait_until 20 "the message on standard error" grep -q 'kelmar: cannot start gone: the application is no longer installed' "$tree/out" \
    || fail "no message on standard error for a removed application: $(cat "$tree/out")"
wait_until 20 "the notification" grep -q '^Kelmar|kelmar|Kelmar|cannot start gone: the application is no longer installed' "$tree/notified" \
    || fail "no notification for a removed application: $(cat "$tree/notified" 2>/dev/null)"
wait_until 20 "the message in start-app.log" grep -q ' cannot start gone: the application is no longer installed' "$folder/start-app.log" \
    || fail "no message in start-app.log for a removed application: $(cat "$folder/start-app.log" 2>/dev/null)"
pass "an entry whose application was removed says so as a notification, on standard error and in start-app.log"

cp "$folder/apps.dat" "$tree/running.dat"
status=0
session "$tree/pkg/usr/bin/kelmar" --import >"$tree/import.out" 2>"$tree/import.err" || status=$?
[ "$status" = 1 ] || fail "--import while Kelmar runs: exit code $status"
grep -q '^kelmar: Kelmar is running with the data folder' "$tree/import.err" || fail "--import while Kelmar runs said: $(cat "$tree/import.err")"
{ cmp -s "$folder/apps.dat" "$tree/running.dat" && [ ! -e "$folder/apps.dat.bak" ]; } || fail "--import while Kelmar runs touched apps.dat"
pass "--import while Kelmar runs: refused with a message and exit code 1, apps.dat untouched"

# The session ends after an Options change (Stay on top unticked), as a session manager ends it: SIGTERM
# and then SIGHUP to every process of the session, Wine's among them. OK has written the change already;
# Kelmar ends as through Exit (exit code 0), keeps it, and the log gets at most a few lines.
ini=$folder/wineprefix/drive_c/windows/kelmar.ini
options_stay_on_top
wait_until 20 "the Options change in kelmar.ini" grep -q '^StayOnTop=0' "$ini" || fail "OK did not save the Options change"
session_pids=$(pgrep -P "$KELMAR_PID")
for dir in /proc/[0-9]*; do
    { tr '\0' '\n' <"$dir/environ"; } 2>/dev/null | grep -qxF "WINEPREFIX=$folder/wineprefix" && session_pids+=" ${dir#/proc/}"
done
said=$(wc -l <"$tree/out")
for signal in TERM HUP; do
    # shellcheck disable=SC2086 # one process id a word
    kill -s "$signal" $session_pids 2>/dev/null
done
wait_exit 60 || fail "Kelmar did not end with the session"
[ "$KELMAR_EXIT" = 0 ] || fail "Kelmar ended with the session with exit code $KELMAR_EXIT; the launcher said: $(cat "$tree/out")"
grep -q '^StayOnTop=0' "$ini" || fail "the session's end lost the Options change: $(cat "$ini"); the launcher said: $(cat "$tree/out")"
[ -z "$(ls -A "$tree/run")" ] || fail "the record of the session stays after Kelmar ended: $(ls -A "$tree/run")"
# A quiet end: Wine's server, kept from the SIGHUP too, dumps none of its objects into the session's log.
[ "$(tail -n +$((said + 1)) "$tree/out" | wc -l)" -le 3 ] \
    || fail "the session's end wrote $(tail -n +$((said + 1)) "$tree/out" | wc -l) lines to the log: $(tail -n +$((said + 1)) "$tree/out" | head -n 5)"
pass "the session's end (SIGTERM, SIGHUP to all its processes) ends Kelmar as Exit does, the Options change kept, quietly"

# Again on request, through a relative symbolic link: the removed application is gone from the menus.
cp "$folder/apps.dat" "$tree/before.dat"
ln -s pkg/usr/bin/kelmar "$tree/kelmar link"
(cd "$tree" && session "./kelmar link" --import) >"$tree/import.out" 2>"$tree/import.err" \
    || fail "--import failed: $(cat "$tree/import.err")"
cmp -s "$folder/apps.dat.bak" "$tree/before.dat" || fail "apps.dat.bak is not the previous apps.dat"
diff <(expected '| gone$') <(catalogue "$folder/apps.dat") >&2 || fail "--import's apps.dat differs from the rules' menus"
for said in "Made 8 menus of 10 applications" "The previous menus are in $folder/apps.dat.bak." \
        "Left out, not in this desktop's menus (NoDisplay, OnlyShowIn, NotShowIn): nodisplay.desktop, onlykde.desktop" \
        "Left out, Hidden: hidden.desktop" "Left out, unreadable, no application, or its TryExec program is missing: broken.desktop, tryexec.desktop"; do
    grep -qF "$said" "$tree/import.out" || fail "--import did not say \"$said\"; it said: $(cat "$tree/import.out")"
done
pass "--import makes the menus again, keeps the previous ones as apps.dat.bak and says what it left out and why"

# A hand-made change (an entry renamed), then an import in Japanese: neither earlier apps.dat is lost.
/usr/bin/python3 - "$folder/apps.dat" <<'PY'
import sys
data = bytearray(open(sys.argv[1], 'rb').read())
at = data.index(b'&Web Browser\0')
data[at:at + 12] = b'&My Browser\0'
open(sys.argv[1], 'wb').write(bytes(data))
PY
cp "$folder/apps.dat" "$tree/hand.dat"
# Two names of three kana each: shown as boxes, the two would look the same.
entry system kana1.desktop 'Name=Kana One' 'Name[ja]=テテテ' 'Exec=true' 'Categories=Graphics;'
entry system kana2.desktop 'Name=Kana Two' 'Name[ja]=テキス' 'Exec=true' 'Categories=Graphics;'
session env LC_ALL=ja_JP.UTF-8 "$tree/pkg/usr/bin/kelmar" --import >"$tree/import.out" 2>"$tree/import.err" \
    || fail "--import under ja_JP failed: $(cat "$tree/import.err")"
{ cmp -s "$folder/apps.dat.bak" "$tree/hand.dat" && cmp -s "$folder/apps.dat.bak.1" "$tree/before.dat"; } \
    || fail "the hand-made apps.dat is not apps.dat.bak, or the menus before it not apps.dat.bak.1: $(ls "$folder")"
grep -qF "The previous menus are in $folder/apps.dat.bak; the menus before them in apps.dat.bak.1." "$tree/import.out" \
    || fail "--import did not say where the earlier menus are: $(cat "$tree/import.out")"
grep -q "(code page 932)" "$tree/import.out" || fail "--import under ja_JP said: $(cat "$tree/import.out")"
pass "a hand-made apps.dat survives a second --import as apps.dat.bak, the menus before it as apps.dat.bak.1"

# Started under Japanese in the prefix made under German; the Graphics popup holds Image Viewer, then the kana.
start_bar() {  # LOCALE: Kelmar started in the session with that locale; bar gets its window
    (session env LC_ALL="$1" "$tree/pkg/usr/bin/kelmar" >"$tree/out" 2>&1) &
    KELMAR_PID=$!
    # Wine 10 scales the bar's place below the screen's edge too.
    bar=$(wait_window Kelmar 'y <= 8 && w >= 1000' 120) || fail "no bar under $1; the launcher said: $(cat "$tree/out")"
}
end_bar() {
    press "$bar" ctrl+x
    wait_exit 30 || fail "Ctrl+X did not end Kelmar"
}
bar_height() { xdotool getwindowgeometry --shell "$bar" | sed -n 's/^HEIGHT=//p'; }
start_bar ja_JP.UTF-8
height96=$(bar_height)
press "$bar" alt+g
sleep 1
screenshot import-japanese
import -window root -crop "400x300+0+$height96" +repage -colorspace gray -depth 8 "gray:$tree/popup.gray"
# The popup's rows of dark text inside its white frame (the highlighted first entry has none); the last
# two are the kana.
/usr/bin/python3 - "$tree/popup.gray" <<'PY' || fail "the Japanese names are shown as boxes (or the popup was not found)"
import sys
width, pixels = 400, open(sys.argv[1], 'rb').read()
rows = [pixels[y * width:(y + 1) * width] for y in range(len(pixels) // width)]
# The popup: the longest run of rows with white in them (the bar's lower edge may be above it).
runs, run = [], []
for y, row in enumerate(rows):
    if row.count(255) > 50:
        run.append(y)
    elif run:
        runs.append(run)
        run = []
runs.append(run)
top, bottom = max(runs, key=len)[0], max(runs, key=len)[-1]
if bottom - top < 10:
    sys.exit("no popup")
cols = [x for x in range(width) if any(rows[y][x] == 255 for y in range(top, bottom))]
left, right = cols[0] + 2, cols[-1] - 2
# An entry's text: rows with grey or dark pixels, less than four blank rows apart (a kana has gaps).
bands, band = [], []
for y in range(top + 3, bottom - 2):
    if any(v < 200 for v in rows[y][left:right]):
        if band and y - band[-1] >= 4:
            bands.append(band)
            band = []
        band.append(y)
if band:
    bands.append(band)
if len(bands) < 2:
    sys.exit("%d rows of text in the popup" % len(bands))
one, two = bands[-2], bands[-1]
height = max(one[-1] - one[0], two[-1] - two[0]) + 1
first = [rows[y][left:right] for y in range(one[0], one[0] + height)]
second = [rows[y][left:right] for y in range(two[0], two[0] + height)]
print("kana rows at %d and %d, %s" % (one[0], two[0], "the same" if first == second else "different"))
sys.exit(1 if first == second else 0)
PY
press "$bar" Escape Escape
end_bar
pass "under Japanese, in a prefix made under German: kana drawn as glyphs, not boxes"

# The session at 192 dpi: Xft.dpi in the display's resources, which a client holds over server resets.
xprop -root -spy RESOURCE_MANAGER >/dev/null 2>&1 &
holder=$!
printf 'Xft.dpi:\t192\n' | xrdb -nocpp -merge || fail "xrdb cannot set Xft.dpi"
start_bar ja_JP.UTF-8
height192=$(bar_height)
end_bar
xrdb -nocpp -remove
[ $((height192 * 10)) -ge $((height96 * 17)) ] || fail "the bar is $height192 pixels tall at 192 dpi, $height96 at 96"
pass "at 192 dpi the bar is $height192 pixels tall, at 96 dpi $height96"

# Menus made under Russian (code page 1251), with an entry added by hand whose program lies in a Cyrillic
# folder; then Kelmar started under Japanese (932, which holds Cyrillic) and under English (1252, which
# does not). Each start converts apps.dat first and keeps the one before as a backup.
entry system ru1.desktop 'Name=Russian Editor' 'Name[ru]=Редактор' 'Exec=true' 'Categories=Office;'
entry system ru2.desktop 'Name=Russian Viewer' 'Name[ru]=Просмотр' 'Exec=true' 'Categories=Office;'
session env LC_ALL=ru_RU.UTF-8 "$tree/pkg/usr/bin/kelmar" --import >"$tree/import.out" 2>"$tree/import.err" \
    || fail "--import under ru_RU failed: $(cat "$tree/import.err")"
/usr/bin/python3 - "$folder/apps.dat" <<'PY'
import sys
data = open(sys.argv[1], 'ab')
field = lambda text, size: text.encode('cp1251').ljust(size, b'\0')
data.write(field('&Мои', 32) + (1).to_bytes(4, 'little') + bytes(12))
data.write(field('C:\\Программы\\notepad.exe', 80) + field('C:\\Программы', 80) + field('', 30) + field('&Блокнот', 30) + bytes(8))
PY
cp "$folder/apps.dat" "$tree/russian.dat"
catalogue "$tree/russian.dat" 1251 >"$tree/russian.txt"
grep -q '^&Office | &Редактор | ' "$tree/russian.txt" || fail "--import under ru_RU made: $(cat "$tree/russian.txt")"
start_bar ja_JP.UTF-8
end_bar
diff "$tree/russian.txt" <(catalogue "$folder/apps.dat" 932) >&2 || fail "under Japanese the menus read otherwise (< Russian, > Japanese)"
cp "$folder/apps.dat" "$tree/japanese.dat"
cmp -s "$folder/apps.dat.bak" "$tree/russian.dat" || fail "the menus as they were under Russian are not apps.dat.bak"
grep -q "names are now in code page 932" "$tree/out" || fail "the start under Japanese said: $(cat "$tree/out")"
grep -q '^kelmar: ' "$tree/out" && fail "the start under Japanese complained: $(cat "$tree/out")"
pass "menus made under Russian, Kelmar started under Japanese: the same names, the Russian file kept as apps.dat.bak"

start_bar en_US.UTF-8
end_bar
# Names as the import gives them in English, each with a mnemonic free in its menu, the hand-made ones
# readable from what they hold; the Cyrillic path and folder left as they were (in code page 932), and
# said so.
catalogue "$folder/apps.dat" 1252 >"$tree/english.txt"
for line in "&Office | &Long Editor | $start_app |  | $long_key" "&Office | &Russian Viewer | $start_app |  | ru2" \
        "&Office | Russian &Editor | $start_app |  | ru1"; do
    grep -qxF "$line" "$tree/english.txt" || fail "under English the menus hold no \"$line\": $(cat "$tree/english.txt")"
done
grep -q '^&Menu 9 | &notepad | ' "$tree/english.txt" || fail "under English the hand-made entry reads: $(tail -n1 "$tree/english.txt")"
cmp -s <(tail -c 228 "$tree/japanese.dat" | head -c 160) <(tail -c 228 "$folder/apps.dat" | head -c 160) \
    || fail "under English the Cyrillic path or folder changed: $(tail -n1 "$tree/english.txt")"
for what in path folder; do
    grep -qF "kelmar: the $what of Блокнот (menu Мои) cannot be written exactly in code page 1252; it is left as it was" "$tree/out" \
        || fail "the start under English did not say the $what stays: $(cat "$tree/out")"
done
pass "under English the Russian names become readable: the desktop's English names, the program's; Cyrillic paths stay, said so"
echo "1 passed, 0 failed"
