# Sourced by the scripts: a private X display (Xvfb) and a fresh Wine prefix with a warm wineserver
# for one run. kelmar_wine_start sets DISPLAY and WINEPREFIX; kelmar_wine_stop ends what it started,
# by process id.
export WINELOADER=/usr/lib/wine/wine64 WINESERVER=/usr/lib/wine/wineserver64
export WINEDEBUG="${WINEDEBUG:--all}" WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml,winemenubuilder.exe=}"
KELMAR_XVFB_PID=
KELMAR_OWN_PREFIX=

# kelmar_wine_start [virtual]: with "virtual", or when no display answers, starts Xvfb (1024x768).
kelmar_wine_start() {
    if [ "${1:-}" = virtual ] || ! xdpyinfo >/dev/null 2>&1; then
        local fdfile
        fdfile=$(mktemp)
        Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$fdfile" 2>/dev/null &
        KELMAR_XVFB_PID=$!
        for _ in $(seq 100); do [ -s "$fdfile" ] && break; sleep 0.1; done
        [ -s "$fdfile" ] || { echo "Xvfb did not start" >&2; return 1; }
        export DISPLAY=":$(head -n1 "$fdfile")"
        rm -f "$fdfile"
    fi
    if [ -z "${WINEPREFIX:-}" ]; then
        WINEPREFIX=$(mktemp -d /tmp/kelmar-wine.XXXXXX)
        KELMAR_OWN_PREFIX=$WINEPREFIX
        export WINEPREFIX
    fi
    "$WINESERVER" -p
    # The first command in a new prefix sets it up. With no window manager on the display, managed
    # windows make Wine wait seconds for every unmap, so windows are left unmanaged.
    "$WINELOADER" reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null 2>&1
}

kelmar_wine_stop() {
    [ -n "${WINEPREFIX:-}" ] && "$WINESERVER" -k 2>/dev/null
    if [ -n "$KELMAR_XVFB_PID" ]; then kill "$KELMAR_XVFB_PID" 2>/dev/null; wait "$KELMAR_XVFB_PID" 2>/dev/null; fi
    [ -n "$KELMAR_OWN_PREFIX" ] && rm -rf "$KELMAR_OWN_PREFIX"
    KELMAR_XVFB_PID=
    return 0
}
