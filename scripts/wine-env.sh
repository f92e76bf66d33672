# shellcheck shell=bash
# Sourced by the scripts: a private X display (Xvfb) and a fresh Wine prefix with a warm wineserver
# for one run. kelmar_wine_start sets DISPLAY and WINEPREFIX; kelmar_wine_stop ends what it started,
# by process id. When either cannot start, it says why on standard output (where CI logs look) and
# returns 1. Wine's messages are off but for err+virtual: a process that Wine could not map its fixed
# addresses for ends at once with exit code 1, and that line names the cause in the test's log.
export WINELOADER=/usr/lib/wine/wine64 WINESERVER=/usr/lib/wine/wineserver64
export WINEDEBUG="${WINEDEBUG:--all,err+virtual}" WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml,winemenubuilder.exe=}"
KELMAR_XVFB_PID=
KELMAR_OWN_PREFIX=

# Facts about this machine that tell why a display or Wine would not start.
kelmar_wine_facts() {
    echo "  user $(id -u), umask $(umask), TMPDIR=${TMPDIR:-unset}, HOME=${HOME:-unset}"
    ls -ld /tmp /tmp/.X11-unix "/tmp/.wine-$(id -u)" 2>&1 | sed 's/^/  /'
    df -h /tmp . 2>&1 | sed 's/^/  /'
    echo "  open files $(ulimit -n), virtual memory $(ulimit -v), processes $(ulimit -u)"
    echo "  $("$WINELOADER" --version 2>&1 | head -n1); /proc $( [ -r /proc/self/maps ] && echo readable || echo missing);" \
         "/dev/shm $( [ -w /dev/shm ] && echo writable || echo missing)"
}

# Starts Xvfb with ARGS (its log in $1) and waits until it answers; sets KELMAR_XVFB_PID and DISPLAY.
kelmar_try_xvfb() {
    local log=$1 fdfile display=
    shift
    fdfile=$(mktemp) || return 1
    if [ "$1" = -displayfd ]; then
        Xvfb "$@" 3>"$fdfile" >"$log" 2>&1 &
    else
        display=${1#:}
        Xvfb "$@" >"$log" 2>&1 &
    fi
    KELMAR_XVFB_PID=$!
    for _ in $(seq 300); do
        kill -0 "$KELMAR_XVFB_PID" 2>/dev/null || break
        [ -z "$display" ] && [ -s "$fdfile" ] && display=$(head -n1 "$fdfile")
        if [ -n "$display" ] && xdpyinfo -display ":$display" >/dev/null 2>&1; then
            rm -f "$fdfile"
            export DISPLAY=":$display"
            return 0
        fi
        sleep 0.1
    done
    rm -f "$fdfile"
    kill "$KELMAR_XVFB_PID" 2>/dev/null && wait "$KELMAR_XVFB_PID" 2>/dev/null
    KELMAR_XVFB_PID=
    return 1
}

# A virtual display: Xvfb on a free display of its own choice, else on one of :99 to :95.
kelmar_start_xvfb() {
    local log n
    log=$(mktemp) || { echo "Cannot make a temporary file for the X server's log"; kelmar_wine_facts; return 1; }
    if kelmar_try_xvfb "$log" -displayfd 3 -screen 0 1024x768x24 -nolisten tcp; then
        rm -f "$log"
        return 0
    fi
    echo "Xvfb did not start with a display of its own choice:"
    tail -n 15 "$log" | sed 's/^/  /'
    for n in 99 98 97 96 95; do
        if kelmar_try_xvfb "$log" ":$n" -screen 0 1024x768x24 -nolisten tcp; then
            echo "Xvfb started on $DISPLAY"
            rm -f "$log"
            return 0
        fi
    done
    echo "Xvfb did not start on :99 to :95 either:"
    tail -n 15 "$log" | sed 's/^/  /'
    kelmar_wine_facts
    rm -f "$log"
    return 1
}

# Makes a fresh prefix under $1 and sets it up. The first command in a new prefix sets it up. With no
# window manager on the display, managed windows make Wine wait seconds for every unmap, so windows
# are left unmanaged. A program that crashes prints its backtrace and ends, instead of waiting behind
# a crash dialog that nobody will close.
kelmar_new_prefix() {
    local log
    WINEPREFIX=$(mktemp -d "$1/kelmar-wine.XXXXXX") || return 1
    KELMAR_OWN_PREFIX=$WINEPREFIX
    export WINEPREFIX
    "$WINESERVER" -p
    # Into a file, not a pipe: Wine's own background processes keep what they inherit open.
    log=$WINEPREFIX.log
    "$WINELOADER" reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >"$log" 2>&1 \
        && "$WINELOADER" reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f >>"$log" 2>&1 \
        && { rm -f "$log"; return 0; }
    echo "Wine could not set up a prefix in $WINEPREFIX:"
    tail -n 15 "$log" | sed 's/^/  /'
    rm -f "$log"
    "$WINESERVER" -k 2>/dev/null
    rm -rf "$KELMAR_OWN_PREFIX"
    KELMAR_OWN_PREFIX=
    unset WINEPREFIX
    return 1
}

# kelmar_wine_start [virtual]: with "virtual", or when no display answers, starts Xvfb (1024x768).
kelmar_wine_start() {
    if [ "${1:-}" = virtual ] || ! xdpyinfo >/dev/null 2>&1; then
        kelmar_start_xvfb || return 1
    fi
    [ -n "${WINEPREFIX:-}" ] && return 0
    # Once more in the project's build folder, in case the temporary folder will not hold a prefix,
    # and once more there with Wine's error messages on.
    local where
    where=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)/build
    mkdir -p "$where"
    kelmar_new_prefix "${TMPDIR:-/tmp}" && return 0
    kelmar_new_prefix "$where" && { echo "Wine's prefix is in $WINEPREFIX"; return 0; }
    WINEDEBUG=err+all kelmar_new_prefix "$where" && { echo "Wine's prefix is in $WINEPREFIX"; return 0; }
    kelmar_wine_facts
    kelmar_wine_stop  # so that a later try starts clean
    return 1
}

# The command lines of this prefix's processes that match the extended regular expression $1.
kelmar_prefix_programs() {
    local dir line
    for dir in /proc/[0-9]*; do
        { tr '\0' '\n' <"$dir/environ"; } 2>/dev/null | grep -qxF "WINEPREFIX=$WINEPREFIX" || continue
        line=$({ tr '\0' ' ' <"$dir/cmdline"; } 2>/dev/null)
        echo "$line" | grep -qiE "$1" && echo "$line"
    done
    return 0
}

kelmar_wine_stop() {
    [ -n "${WINEPREFIX:-}" ] && "$WINESERVER" -k 2>/dev/null
    if [ -n "$KELMAR_XVFB_PID" ]; then kill "$KELMAR_XVFB_PID" 2>/dev/null; wait "$KELMAR_XVFB_PID" 2>/dev/null; fi
    # A prefix this removes is unset too, so that the next kelmar_wine_start makes a new one.
    [ -n "$KELMAR_OWN_PREFIX" ] && rm -rf "$KELMAR_OWN_PREFIX" && unset WINEPREFIX
    KELMAR_XVFB_PID= KELMAR_OWN_PREFIX=
    return 0
}
