# shellcheck shell=bash
# Helpers of the end-to-end tests: the real KELMAR32.EXE under Wine on an X display, driven with
# xdotool as a user would and read back from its files and windows. Sourced by tests/e2e/test_*.sh.
set -u
E2E_ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
KELMAR_EXE=$(readlink -f "${1:?usage: $0 KELMAR32.EXE}")
SHOTS=${KELMAR_BUILD:-$E2E_ROOT/build/win64}/screenshots
mkdir -p "$SHOTS"

# Standalone runs get a display and prefix of their own; under the test command they share one.
if [ -z "${WINEPREFIX:-}" ] || [ -z "${DISPLAY:-}" ]; then
    # shellcheck source=../../scripts/wine-env.sh
    . "$E2E_ROOT/scripts/wine-env.sh"
    kelmar_wine_start virtual || exit 1
    trap kelmar_wine_stop EXIT
fi
WINDOWS_DIR=$WINEPREFIX/drive_c/windows
KELMAR_PID=

fail() { echo "FAIL: $*" >&2; [ -n "$KELMAR_PID" ] && kill "$KELMAR_PID" 2>/dev/null; exit 1; }
pass() { echo "ok   $*"; }

# Starts the EXE with the given working folder (where apps.dat lives), through KELMAR_WINE_RUN when set.
launch_kelmar() {
    (cd "$1" && exec "${KELMAR_WINE_RUN:-$E2E_ROOT/scripts/wine-run}" "$KELMAR_EXE") &
    KELMAR_PID=$!
}

# Says on standard error why a wait gave up: what it waited for, whether Kelmar still ran, and every
# visible window with its title, class and geometry; a screenshot goes beside the others.
explain_wait() {
    local id
    {
        echo "gave up waiting for $1"
        if [ -z "$KELMAR_PID" ]; then
            echo "  Kelmar: not started by this script"
        elif kill -0 "$KELMAR_PID" 2>/dev/null; then
            echo "  Kelmar: process $KELMAR_PID still running"
        else
            echo "  Kelmar: process $KELMAR_PID has ended"
        fi
        echo "  visible windows (id \"title\": (\"instance\" \"class\") geometry):"
        for id in $(xdotool search --onlyvisible --name '' 2>/dev/null); do
            xwininfo -root -tree 2>/dev/null | grep -m1 -i "^ *$(printf '0x%x' "$id") " | sed 's/^ */    /'
        done
    } >&2
    local shot
    shot=$SHOTS/gave-up-$(date +%s).png
    import -window root "$shot" 2>/dev/null && echo "  screenshot: $shot" >&2
}

# Prints the id of the first visible window titled exactly TITLE whose geometry passes TEST (an awk
# condition over x y w h), waiting up to SECONDS; when none comes, says what the screen held.
wait_window() {
    find_window "$@" && return 0
    explain_wait "a window \"$1\" where $2, for ${3:-20} s"
    return 1
}

# As wait_window, silently: for windows that should not come.
find_window() {
    local title=$1 test=$2 seconds=${3:-20} id geometry
    for _ in $(seq $((seconds * 10))); do
        for id in $(xdotool search --onlyvisible --name "^$title\$" 2>/dev/null); do
            geometry=$(xdotool getwindowgeometry --shell "$id" 2>/dev/null | awk -F= '{v[$1]=$2} END {print v["X"], v["Y"], v["WIDTH"], v["HEIGHT"]}')
            if echo "$geometry" | awk "{x=\$1; y=\$2; w=\$3; h=\$4; exit !($test)}"; then
                echo "$id"
                return 0
            fi
        done
        sleep 0.1
    done
    return 1
}

# Waits up to SECONDS until no visible window is titled exactly TITLE.
wait_gone() {
    local seconds=${2:-20}
    for _ in $(seq $((seconds * 10))); do
        [ -z "$(xdotool search --onlyvisible --name "^$1\$" 2>/dev/null)" ] && return 0
        sleep 0.1
    done
    explain_wait "the window \"$1\" to close, for $seconds s"
    return 1
}

# Waits up to SECONDS until COMMAND succeeds: for a file's final content, since a window can go
# before the program has finished writing; when it gives up, says what it waited for.
wait_until() {  # SECONDS WHAT COMMAND...
    local seconds=$1 what=$2
    shift 2
    for _ in $(seq $((seconds * 10))); do
        "$@" 2>/dev/null && return 0
        sleep 0.1
    done
    explain_wait "$what, for $seconds s"
    return 1
}

# True when FILE has exactly SIZE bytes.
has_size() { [ "$(stat -c %s "$1" 2>/dev/null)" = "$2" ]; }

# A wait limit in proportion to a duration this run measured (a prefix's set-up under emulation, say),
# so that a slower machine gets more time and a hung program still fails in bounded time:
# scaled_limit MEASURED PERCENT FLOOR CEILING prints seconds.
scaled_limit() {
    local limit=$(($1 * $2 / 100))
    [ "$limit" -lt "$3" ] && limit=$3
    [ "$limit" -gt "$4" ] && limit=$4
    echo "$limit"
}

# Gives the window the keyboard focus and types the keys (xdotool key syntax, one or more).
press() {
    xdotool windowfocus --sync "$1" 2>/dev/null || xdotool windowfocus "$1"
    sleep 0.2
    xdotool key --clearmodifiers --delay 100 "${@:2}"
}

# Waits up to SECONDS for the EXE to end; its exit code goes into KELMAR_EXIT.
wait_exit() {
    local seconds=${1:-20}
    for _ in $(seq $((seconds * 10))); do
        if ! kill -0 "$KELMAR_PID" 2>/dev/null; then
            wait "$KELMAR_PID"
            KELMAR_EXIT=$?
            KELMAR_PID=
            return 0
        fi
        sleep 0.1
    done
    explain_wait "Kelmar to end, for $seconds s"
    return 1
}

# The rest of a first run once its thanks box BOX is up: the box answered, the bar, Ctrl+X, exit code 0,
# and the default apps.dat in FOLDER, where Kelmar was started.
finish_first_run() {  # BOX FOLDER
    press "$1" Return
    bar=$(wait_window Kelmar "$BAR_TEST") || fail "no bar at the top of the screen"
    sleep 0.5
    press "$bar" ctrl+x
    wait_exit 20 || fail "Ctrl+X did not end Kelmar"
    [ "$KELMAR_EXIT" = 0 ] || fail "exit code $KELMAR_EXIT"
    [ "$(stat -c %s "$2/apps.dat" 2>/dev/null)" = 1008 ] || fail "no default apps.dat in $2"
}

# The screen as the user sees it.
screenshot() { import -window root "$SHOTS/$1.png" && echo "     screenshot: $SHOTS/$1.png"; }

# A working folder of the test's own in $work (where apps.dat lives), removed at exit together with the
# EXE if it still runs, and with the display and prefix of a standalone run.
make_work() {
    work=$(mktemp -d)
    trap 'rm -rf "$work"; [ -n "$KELMAR_PID" ] && kill "$KELMAR_PID" 2>/dev/null; declare -F kelmar_wine_stop >/dev/null && kelmar_wine_stop' EXIT
}

# kelmar.ini as a user left it: STAYONTOP CHIMEONHOUR WAV.
write_settings() {
    printf '[Options]\r\nStayOnTop=%s\r\nChimeOnHour=%s\r\nChime WAV=%s\r\n' "$1" "$2" "$3" >"$WINDOWS_DIR/kelmar.ini"
}

ini_value() { sed -n "s/^$1=//p" "$WINDOWS_DIR/kelmar.ini" | tr -d '\r'; }

options_stay_on_top() {  # Ctrl+O, Stay on top toggled, OK: the bar is made again
    local options newbar
    press "$bar" ctrl+o
    options=$(wait_window "Kelmar Options" "$BOX_TEST" 10) || fail "Ctrl+O opened no Options dialog"
    press "$options" Tab Tab space Return
    wait_gone "Kelmar Options" || fail "OK did not close the Options dialog"
    for _ in $(seq 100); do
        newbar=$(find_window Kelmar "$BAR_TEST" 1) && [ "$newbar" != "$bar" ] && break
        sleep 0.1
    done
    { [ -n "$newbar" ] && [ "$newbar" != "$bar" ]; } || fail "the bar was not made again after the Options change"
    bar=$newbar
}

# apps.dat as lines: menu | name | path | folder | parameters, the texts read in code page 1252 or the one
# given (a byte no code page has shown escaped).
catalogue() {  # FILE [CODEPAGE]
    /usr/bin/python3 - "$1" "${2:-1252}" <<'PY'
import struct, sys
data = open(sys.argv[1], 'rb').read()
text = lambda b: b.split(b'\0')[0].decode('cp' + sys.argv[2], 'backslashreplace')
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

BAR_TEST='y <= 4 && w >= 1000'
BOX_TEST='y > 100'
