#!/usr/bin/env bash
# The launcher kelmar, run from the unpacked Debian package: its refusals (no display, unknown
# options) leave nothing behind; --autostart writes and removes the XDG autostart entry, which GIO
# starts also from a folder whose name holds "%"; a Wine without its preloader is named once on standard
# error; and on the virtual display the first run on a machine whose desktop has no applications and
# where no shared prefix was prepared sets Wine up, brings up the thanks box and the sample menus (the
# bar of the window class the menu entry names), ends on Ctrl+X with exit code 0 and leaves apps.dat in
# the XDG data folder, where the second run, started by a relative path and with TMPDIR set, finds the
# menus. kelmar-run leaves no record of the session behind, however it ends. Ctrl+C in the terminal that
# started kelmar ends Kelmar as Exit does, and an Options change survives the X server's end.
# Usage: test_launcher.sh kelmar_VERSION-1_amd64.deb
deb=$(readlink -f "${1:?usage: $0 kelmar_VERSION-1_amd64.deb}")
tree=$(mktemp -d "${TMPDIR:-/tmp}/kelmar launcher.XXXXXX")  # a space in every path
dpkg-deb -x "$deb" "$tree" || { echo "FAIL: dpkg-deb cannot unpack $deb" >&2; exit 1; }
set -- "$tree/usr/lib/kelmar/KELMAR32.EXE"
. "$(dirname "$0")/../e2e/lib.sh"
set -o pipefail

kelmar=$tree/usr/bin/kelmar
home=$tree/home
data=$tree/data
prefix=$data/kelmar/wineprefix
mkdir -p "$home"
own_x=
cleanup() {
    [ -n "$KELMAR_PID" ] && kill "$KELMAR_PID" 2>/dev/null
    [ -n "$own_x" ] && kill "$own_x" 2>/dev/null
    [ -d "$prefix" ] && WINEPREFIX=$prefix "$WINESERVER" -k 2>/dev/null
    rm -rf "$tree"
    declare -F kelmar_wine_stop >/dev/null && kelmar_wine_stop
}
trap cleanup EXIT
# The launcher as a user's session runs it: this test's home and XDG folders, and the display.
as_user() { HOME=$home XDG_DATA_HOME=$data XDG_CONFIG_HOME=$home/config XDG_DATA_DIRS=$tree/none "$@"; }

# Refusals: a message on standard error naming the trouble, exit code 1, and no data folder made.
refused() {  # WHAT PATTERN COMMAND...
    local what=$1 pattern=$2 status=0
    shift 2
    "$@" >"$tree/out" 2>"$tree/err" || status=$?
    [ "$status" = 1 ] || fail "$what: exit code $status"
    grep -q "^kelmar: .*$pattern" "$tree/err" || fail "$what: standard error says: $(cat "$tree/err")"
    [ ! -s "$tree/out" ] || fail "$what: standard output says: $(cat "$tree/out")"
    { [ ! -e "$data" ] && [ ! -e "$home/config" ]; } || fail "$what: left $(find "$data" "$home/config" 2>/dev/null | head -n3)"
}
refused "no display" "no display" as_user env -u DISPLAY -u WAYLAND_DISPLAY "$kelmar"
refused "unknown option" "unknown option '--frobnicate'" as_user "$kelmar" --frobnicate
refused "--autostart maybe" "on or off" as_user "$kelmar" --autostart maybe
[ "$(as_user "$kelmar" --version)" = "kelmar $(dpkg-deb -f "$deb" Version | sed 's/-[^-]*$//')" ] \
    || fail "--version says: $(as_user "$kelmar" --version)"
pass "no display, an unknown option or a bad --autostart: a message, exit code 1, nothing made"

entry=$home/config/autostart/kelmar.desktop
said=$(as_user "$kelmar" --autostart on) || fail "--autostart on failed"
[[ $said == *"$entry written"* ]] || fail "--autostart on says: $said"
desktop-file-validate "$entry" || fail "the autostart entry is not valid"
grep -qxF "Exec=\"$kelmar\"" "$entry" || fail "the autostart entry runs: $(grep ^Exec= "$entry")"
# Started as the session starts it, through GIO: the launcher itself runs (and, with no display, says so).
as_user env -u DISPLAY -u WAYLAND_DISPLAY gio launch "$entry" 2>"$tree/gio.err" || fail "gio launch failed: $(cat "$tree/gio.err")"
for _ in $(seq 100); do grep -q "^kelmar: no display" "$tree/gio.err" && break; sleep 0.1; done
grep -q "^kelmar: no display" "$tree/gio.err" || fail "the autostart entry started through GIO did not run the launcher: $(cat "$tree/gio.err")"
# Once Kelmar is removed, the session passes over the entry (TryExec).
mv "$kelmar" "$kelmar.gone"
as_user gio launch "$entry" 2>/dev/null && fail "the autostart entry still starts with the launcher removed"
mv "$kelmar.gone" "$kelmar"
{ as_user "$kelmar" --autostart on >/dev/null && [ "$(ls -A "$home/config/autostart")" = kelmar.desktop ]; } \
    || fail "a second --autostart on left: $(ls -A "$home/config/autostart")"
said=$(as_user "$kelmar" --autostart off) || fail "--autostart off failed"
{ [ ! -e "$entry" ] && [[ $said == *"$entry removed"* ]]; } || fail "--autostart off says: $said"
said=$(as_user "$kelmar" --autostart off) || fail "a second --autostart off failed"
[[ $said == *"not set"* ]] || fail "a second --autostart off says: $said"
rm -rf "$home/config"
# A folder whose name holds "%", which the entry's Exec writes doubled: GIO must still start the launcher.
percent="$tree/100% kelmar"
mkdir -p "$percent"
dpkg-deb -x "$deb" "$percent" || fail "dpkg-deb cannot unpack $deb into $percent"
said=$(as_user "$percent/usr/bin/kelmar" --autostart on) || fail "--autostart on from $percent failed"
desktop-file-validate "$entry" || fail "the autostart entry for $percent is not valid"
rm -f "$tree/gio.err"
as_user env -u DISPLAY -u WAYLAND_DISPLAY gio launch "$entry" 2>"$tree/gio.err" || fail "gio launch from $percent failed: $(cat "$tree/gio.err")"
for _ in $(seq 100); do grep -q "^kelmar: no display" "$tree/gio.err" && break; sleep 0.1; done
grep -q "^kelmar: no display" "$tree/gio.err" || fail "the autostart entry for $percent did not run the launcher through GIO: $(cat "$tree/gio.err"); it reads $(grep ^Exec= "$entry")"
as_user "$percent/usr/bin/kelmar" --autostart off >/dev/null || fail "--autostart off from $percent failed"
rm -rf "$home/config" "$percent"
pass "--autostart on writes a valid XDG autostart entry that GIO starts from a path with a space and from one with \"%\", ignored once the launcher is gone; off removes it"

# Wine installed some other way, without its preloader: one line on standard error says so and names the
# package, and Kelmar starts all the same; with the preloader beside the loader, not a word.
standin=$tree/standin
mkdir -p "$standin" "$data/kelmar/wineprefix"
echo menus >"$data/kelmar/apps.dat"  # a catalogue, so no import runs first
printf '#!/bin/sh\necho "$@" >"%s/started"\n' "$standin" >"$standin/wine64"
cp "$standin/wine64" "$standin/wineserver64"
chmod +x "$standin/wine64" "$standin/wineserver64"
for preloader in missing present; do
    [ "$preloader" = present ] && cp "$standin/wine64" "$standin/wine64-preloader"
    rm -f "$standin/started"
    as_user env WINELOADER="$standin/wine64" WINESERVER="$standin/wineserver64" "$kelmar" >"$tree/out" 2>"$tree/err" \
        || fail "preloader $preloader: exit code $?; standard error: $(cat "$tree/err")"
    [[ $(cat "$standin/started" 2>/dev/null) == *KELMAR32.EXE ]] || fail "preloader $preloader: Kelmar was not started"
    said=$(cat "$tree/out" "$tree/err")
    if [ "$preloader" = missing ]; then
        { [ "$(grep -c . <<<"$said")" = 1 ] \
            && grep -q "^kelmar: .*$standin/wine64-preloader is missing.*apt install wine64-preloader" <<<"$said"; } \
            || fail "without the preloader the launcher said: $said"
    else
        [ -z "$said" ] || fail "with the preloader the launcher said: $said"
    fi
done
rm -rf "$data"
pass "a Wine without its preloader: one warning naming wine64-preloader, and Kelmar starts all the same"

# kelmar-run's record of the session's environment (every variable, tokens too) is there while the program
# runs and gone after it, whatever the end: the program's own, one that cannot run, a data folder that
# cannot be locked (its lock file a folder).
run_dir=$tree/run
mkdir -m 700 "$run_dir" "$tree/folder"
mkdir -p "$tree/unlockable/kelmar.lock"
kelmar_run() {  # EXPECTED-STATUS FOLDER PROGRAM...
    local expected=$1 folder=$2 status=0
    shift 2
    XDG_RUNTIME_DIR=$run_dir "$tree/usr/lib/kelmar/kelmar-run" "$folder" -- "$@" 2>"$tree/err" || status=$?
    [ "$status" = "$expected" ] || fail "kelmar-run $folder -- $*: exit code $status; it said: $(cat "$tree/err")"
    left=$(ls -A "$run_dir"; find "$folder" -mindepth 1 -not -name kelmar.lock)
    [ -z "$left" ] || fail "kelmar-run $folder -- $* left: $left"
}
# shellcheck disable=SC2016 # expanded by the shell that kelmar-run starts
kelmar_run 0 "$tree/folder" /bin/sh -c 'test -s "$KELMAR_SESSION_RECORD" && test "${KELMAR_SESSION_RECORD#"$0"}" != "$KELMAR_SESSION_RECORD"' "$run_dir"
kelmar_run 127 "$tree/folder" "$tree/no such program"
kelmar_run 1 "$tree/unlockable" /bin/true
grep -q "^kelmar: cannot lock $tree/unlockable/kelmar.lock" "$tree/err" || fail "kelmar-run without its lock said: $(cat "$tree/err")"
rm -rf "$run_dir" "$tree/folder" "$tree/unlockable"
pass "kelmar-run's record of the session is there while the program runs and gone after, also when the program cannot run or the folder cannot be locked"

# Starts the launcher in the background with its output in $tree/out.
start_kelmar() {
    (cd "${2:-$home}" && exec env HOME="$home" XDG_DATA_HOME="$data" XDG_CONFIG_HOME="$home/config" \
        XDG_DATA_DIRS="$tree/none" "${1:-$kelmar}" >"$tree/out" 2>&1) &
    KELMAR_PID=$!
}
end_kelmar() {  # WHICH RUN: Ctrl+X on the bar, exit code 0
    press "$bar" ctrl+x
    wait_exit 30 || fail "$1: Ctrl+X did not end Kelmar"
    [ "$KELMAR_EXIT" = 0 ] || fail "$1: exit code $KELMAR_EXIT; the launcher said: $(cat "$tree/out")"
}

# A set-up cut short earlier left its staging folder; the first run must begin again and clear it.
mkdir -p "$data/kelmar/wineprefix.setup/drive_c"
start_kelmar
# Setting Wine up takes tens of seconds, longer on a busy machine.
box=$(wait_window Kelmar "$BOX_TEST" 300) || fail "no thanks box on the first run; the launcher said: $(cat "$tree/out")"
grep -q '^Setting up Wine for Kelmar (first run only)' "$tree/out" || fail "the first run did not say it sets Wine up"
press "$box" Return
bar=$(wait_window Kelmar "$BAR_TEST") || fail "no bar on the first run"
# Wine draws the bar's frame: asked of the window manager as a border-only frame, GNOME's hid the bar.
decorations=$(xprop -id "$bar" _MOTIF_WM_HINTS | awk -F', ' '{print $3}')
[ "$decorations" = 0x0 ] || fail "the bar asks the window manager for frame decorations: $(xprop -id "$bar" _MOTIF_WM_HINTS)"
# The desktop knows the bar by the class that the menu entry names.
class=$(sed -n 's/^StartupWMClass=//p' "$tree/usr/share/applications/kelmar.desktop")
xprop -id "$bar" WM_CLASS | grep -qF "\"$class\"" || fail "the bar's $(xprop -id "$bar" WM_CLASS) is not the menu entry's StartupWMClass=$class"
screenshot launcher-bar
end_kelmar "first run"
[ "$(stat -c %s "$data/kelmar/apps.dat" 2>/dev/null)" = 1008 ] || fail "no default apps.dat in $data/kelmar"
[ -f "$prefix/drive_c/windows/kelmar.ini" ] || fail "no kelmar.ini in the prefix's Windows folder"
left=$(find "$data/kelmar" -mindepth 1 -maxdepth 1 -printf '%f\n' | sort | paste -sd ' ')
[ "$left" = "apps.dat apps.dat.codepage kelmar.lock wineprefix" ] || fail "the data folder holds: $left"
[ ! -e "$home/.wine" ] || fail "\$HOME/.wine was made"
grep -q '^No applications in the desktop' "$tree/out" || fail "the first run did not say it found no applications"
pass "first run: says it sets Wine up, finds no desktop applications, thanks box, sample menus, a bar that draws its own frame and has the menu entry's window class, Ctrl+X, exit code 0, apps.dat"


# The second run must read the menus from there: rename the first menu and look for it after the save.
# It is started by a relative path, which must not break when the launcher changes to the data folder,
# and in a session that sets TMPDIR (as pam_tmpdir does), with which Debian 13's Wine does not start.
printf '&Tools\0' | dd of="$data/kelmar/apps.dat" conv=notrunc status=none
mkdir -p "$tree/tmp"
TMPDIR=$tree/tmp start_kelmar ./usr/bin/kelmar "$tree"
bar=$(wait_window Kelmar "$BAR_TEST" 60) || fail "no bar on the second run; the launcher said: $(cat "$tree/out")"
find_window Kelmar "$BOX_TEST" 1 >/dev/null && fail "the thanks box again on the second run"
end_kelmar "second run"
[ ! -s "$tree/out" ] || fail "the second run said: $(cat "$tree/out")"
[ "$(head -c 6 "$data/kelmar/apps.dat")" = "&Tools" ] || fail "the second run did not keep the menus of apps.dat"
pass "second run, by a relative path, with TMPDIR set: straight to the bar with the menus saved in the data folder"

ini=$prefix/drive_c/windows/kelmar.ini
# Ctrl+C in the terminal that started kelmar: the terminal sends SIGINT to its foreground process group.
# Kelmar ends as through Exit: exit code 0, the Options change (Stay on top unticked) kept. The terminal
# is a pseudo-terminal of its own, whose program kelmar is; it types Ctrl+C once told to.
cat >"$tree/terminal.py" <<'PY'
import os, pty, select, sys
out, told = sys.argv[1], sys.argv[2]
pid, master = pty.fork()
if pid == 0:
    os.execvp(sys.argv[3], sys.argv[3:])
typed, ended = False, 0
with open(out, 'wb', buffering=0) as log:
    while not ended:
        if select.select([master], [], [], 0.1)[0]:
            try:
                log.write(os.read(master, 4096))
            except OSError:
                pass
        if not typed and os.path.exists(told):
            os.write(master, b'\x03')
            typed = True
        ended, status = os.waitpid(pid, os.WNOHANG)
code = os.waitstatus_to_exitcode(status)
sys.exit(code if code >= 0 else 128 - code)
PY
(cd "$home" && exec /usr/bin/python3 "$tree/terminal.py" "$tree/out" "$tree/ctrl-c" env HOME="$home" XDG_DATA_HOME="$data" \
    XDG_CONFIG_HOME="$home/config" XDG_DATA_DIRS="$tree/none" "$kelmar") &
KELMAR_PID=$!
bar=$(wait_window Kelmar "$BAR_TEST" 60) || fail "no bar for Ctrl+C; the terminal shows: $(cat "$tree/out")"
options_stay_on_top
touch "$tree/ctrl-c"
wait_exit 60 || fail "Ctrl+C did not end Kelmar"
[ "$KELMAR_EXIT" = 0 ] || fail "Ctrl+C: exit code $KELMAR_EXIT; the terminal shows: $(cat "$tree/out")"
grep -q '^StayOnTop=0' "$ini" || fail "Ctrl+C lost the Options change: $(cat "$ini")"
pass "Ctrl+C in the terminal that started kelmar ends Kelmar as Exit does: exit code 0, the Options change kept"

# A log-off that takes the display first (the display manager ends the X server): Wine ends on the lost
# connection before anything can ask Kelmar to save, so an Options change must already be in kelmar.ini
# when OK closes the dialog. Kelmar on an X server of its own, which is then ended.
Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$tree/display" >/dev/null 2>&1 &
own_x=$!
wait_until 30 "a second X server" test -s "$tree/display" || fail "no second X server"
main_display=$DISPLAY
export DISPLAY=:$(head -n1 "$tree/display")
start_kelmar
bar=$(wait_window Kelmar "$BAR_TEST" 60) || fail "no bar on the X server of its own; the launcher said: $(cat "$tree/out")"
options_stay_on_top
wait_until 20 "Stay on top ticked in kelmar.ini" grep -q '^StayOnTop=1' "$ini" \
    || fail "OK in Options did not write kelmar.ini at once: $(cat "$ini")"
kill "$own_x"
wait "$own_x"
own_x=
export DISPLAY=$main_display
wait_exit 60 || fail "Kelmar did not end with its X server"
grep -q '^StayOnTop=1' "$ini" || fail "the X server's end lost the Options change: $(cat "$ini")"
[ "$(wc -l <"$tree/out")" -le 5 ] || fail "the X server's end wrote $(wc -l <"$tree/out") lines: $(head -n 5 "$tree/out")"
pass "the X server ended first: the Options change accepted with OK is kept, and the launcher says at most a few lines"
echo "1 passed, 0 failed"
