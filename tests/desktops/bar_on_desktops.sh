#!/usr/bin/env bash
# The installed package's bar (/usr/bin/kelmar) under the window managers and compositors of the Linux
# desktops, each started headless on a small virtual screen with a maximised window open, checked from
# the X side as a user would see it: on the first run the thanks box comes and takes Return; the bar's
# window is viewable, at the top edge (at most a top panel's height down), across the whole width, still
# viewable after a clock tick, and above the maximised window once that is active; F10 and Down open
# its first menu, Escape closes it, Alt and the first menu's letter open that one; Ctrl+O and Stay on
# top unticked make a bar that the active maximised window covers; the session's end saves that change;
# started again, x in the first menu (Exit Kelmar) ends kelmar with exit code 0.
# Not part of the CI suite: it needs the compositors installed, and --install puts them in (as root, on
# a Debian 13 machine or chroot, e.g. through SUITE=trixie ../shared/tools/newcomer-check.sh).
#
# Usage: tests/desktops/bar_on_desktops.sh [--install kelmar_VERSION-1_amd64.deb] [DESKTOP...]
#   DESKTOP: gnome (gnome-shell on Wayland), gnome-x11, mutter (bare mutter on Wayland), mutter-x11, kwin
#   (KDE Plasma's KWin on Wayland), xfwm4 (Xfce, X11), labwc, sway, weston; by default each whose
#   program is here.
# Screenshots of the open menu go to $SHOTS (default: ./desktop-shots). Exit code 0 when all passed.
set -u
W=1280 H=800
SHOTS=${SHOTS:-$PWD/desktop-shots}
all="gnome gnome-x11 mutter mutter-x11 kwin xfwm4 labwc sway weston"

program_of() {
    case $1 in
        gnome|gnome-x11) echo gnome-shell ;; mutter|mutter-x11) echo mutter ;; kwin) echo kwin_wayland ;; *) echo "$1" ;;
    esac
}
packages_of() {
    case $1 in
        gnome) echo gnome-shell xwayland python3-gi gir1.2-glib-2.0 ;; gnome-x11) echo gnome-shell xvfb python3-gi gir1.2-glib-2.0 ;; mutter) echo mutter xwayland ;; mutter-x11) echo mutter xvfb ;;
        kwin) echo kwin-wayland xwayland ;; xfwm4) echo xfwm4 xvfb ;; labwc) echo labwc xwayland ;;
        sway) echo sway xwayland ;; weston) echo weston xwayland ;;
    esac
}

# ---- The check, run with DISPLAY naming the desktop's X server (XWayland or Xvfb) ----

# Window ids of the EXE's visible top-level windows titled Kelmar, one a line.
kelmar_windows() {
    local id
    for id in $(xdotool search --onlyvisible --classname '^kelmar32\.exe$' 2>/dev/null); do
        [ "$(xdotool getwindowname "$id" 2>/dev/null)" = Kelmar ] && echo "$id"
    done
}
geometry() {  # ID -> "x y w h state" as the X server has it, from the root's corner
    xwininfo -id "$1" 2>/dev/null | awk -F: '/Absolute upper-left X/{x=$2} /Absolute upper-left Y/{y=$2}
        /^ *Width/{w=$2} /^ *Height/{h=$2} /Map State/{s=$2} END {print x+0, y+0, w+0, h+0, s}' | tr -s ' '
}
# Waits up to LIMIT seconds for COMMAND to print something; prints its first line.
wait_for() {
    local limit=$1 out
    shift
    for _ in $(seq $((limit * 5))); do
        out=$("$@" | head -n1)
        [ -n "$out" ] && { echo "$out"; return 0; }
        sleep 0.2
    done
    return 1
}
bar_window() { local id; for id in $(kelmar_windows); do read -r _ _ w _ _ <<<"$(geometry "$id")"; [ "$w" -ge $((screen_w / 2)) ] && echo "$id"; done; }
box_window() { local id; for id in $(kelmar_windows); do read -r _ _ w _ _ <<<"$(geometry "$id")"; [ "$w" -lt $((screen_w / 2)) ] && echo "$id"; done; }
# A popup menu: a viewable window of the EXE other than the bar, at least one item high, narrower than half the screen.
menu_window() {
    local id
    for id in $(xdotool search --onlyvisible --classname '^kelmar32\.exe$' 2>/dev/null); do
        [ "$id" = "$bar" ] && continue
        read -r _ _ w h _ <<<"$(geometry "$id")"
        [ "$h" -ge 16 ] && [ "$w" -gt 40 ] && [ "$w" -lt $((screen_w / 2)) ] && echo "$id"
    done
}
menu_gone() { menu_window | grep -q . || echo gone; }
focus() { xdotool windowactivate --sync "$1" >/dev/null 2>&1 || xdotool windowfocus --sync "$1" >/dev/null 2>&1; sleep 0.5; }

# The whole screen, top bar and all, as gnome-shell sees it; it takes requests only from its screenshot tool.
gnome_shot() {  # FILE
    /usr/bin/python3 - "$1" <<'PYTHON' 2>/dev/null || echo "(no screenshot from gnome-shell)" >&2
import sys
from gi.repository import Gio, GLib
bus = Gio.bus_get_sync(Gio.BusType.SESSION)
bus.call_sync("org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus", "RequestName",
              GLib.Variant("(su)", ("org.gnome.Screenshot", 0)), None, 0, -1)
GLib.usleep(500000)  # gnome-shell learns the name's new owner
bus.call_sync("org.gnome.Shell.Screenshot", "/org/gnome/Shell/Screenshot", "org.gnome.Shell.Screenshot",
              "Screenshot", GLib.Variant("(bbs)", (False, False, sys.argv[1])), None, 0, 20000)
PYTHON
}

gnome_overview_off() {
    /usr/bin/python3 - <<'PYTHON' 2>/dev/null || echo "(gnome-shell did not leave its overview)" >&2
from gi.repository import Gio, GLib
Gio.bus_get_sync(Gio.BusType.SESSION).call_sync(
    "org.gnome.Shell", "/org/gnome/Shell", "org.freedesktop.DBus.Properties", "Set",
    GLib.Variant("(ssv)", ("org.gnome.Shell", "OverviewActive", GLib.Variant("b", False))), None, 0, 10000)
PYTHON
    sleep 1  # its closing animation
}

# The top-level window under the root that holds window ID (a window manager's frame, or ID itself), in decimal.
toplevel() {
    local id=$1 parent root
    root=$(xwininfo -root | awk '/Window id:/{print $4}')
    while parent=$(xwininfo -tree -id "$id" 2>/dev/null | awk '/Parent window id:/{print $4}') \
            && [ -n "$parent" ] && [ $((parent)) -ne $((root)) ]; do
        id=$parent
    done
    echo $((id))
}
# Prints "above" when window A lies above window B in the X server's stacking order, which the window
# manager or the compositor keeps as it shows them (the root's children come topmost first). labwc's
# always-on-top layer (its window rules) is the one exception seen: it does not show in that order.
stacked_above() {  # A B
    local a b id
    a=$(toplevel "$1") b=$(toplevel "$2")
    for id in $(xwininfo -root -children | awk '$1 ~ /^0x/ {print $1}'); do
        [ $((id)) -eq "$a" ] && { echo above; return; }
        [ $((id)) -eq "$b" ] && return
    done
}
# The window titled TITLE (a dialog of the EXE, or the cover window), when viewable.
named_window() { xdotool search --onlyvisible --name "^$1\$" 2>/dev/null | head -n1; }
another_bar() { bar_window | grep -vx "$1"; }

inside() {  # DESKTOP RESULT-FILE
    local name=$1 result=$2 home pid status bar box menu geo x y w h state notes='' how try letter cover cover_pid options ini old pids dir
    say() { echo "$name: $*" >>"$result"; }
    start_kelmar() { (HOME=$home XDG_CONFIG_HOME=$home/.config exec kelmar >>"$home/kelmar.out" 2>&1) & pid=$!; }
    wait_end() {
        status=timeout
        for _ in $(seq $((limit * 5))); do
            kill -0 "$pid" 2>/dev/null || { wait "$pid"; status=$?; break; }
            sleep 0.2
        done
        [ "$status" = timeout ] && kill "$pid" 2>/dev/null
    }
    screen_w=$(xwininfo -root | awk '/^ *Width/{print $2}')
    home=$(mktemp -d)
    cp -a "$prepared/." "$home/"
    ini=$home/.local/share/kelmar/wineprefix/drive_c/windows/kelmar.ini
    # A maximised window, started first, for the bar to stay above.
    xterm -maximized -title Cover >/dev/null 2>&1 &
    cover_pid=$!
    cover=$(wait_for "$limit" named_window Cover) || notes+=" no maximised window to cover the bar;"
    # GNOME starts on its overview, where the keys go to its search, as a user who logs in sees it: the
    # user leaves it (here through gnome-shell's own D-Bus property).
    [ "${name%-x11}" = gnome ] && gnome_overview_off
    start_kelmar
    if box=$(wait_for "$limit" box_window); then
        focus "$box"
        xdotool key Return
    else
        notes+=" no thanks box;"
    fi
    if ! bar=$(wait_for "$limit" bar_window); then
        say "FAIL no viewable bar (${notes} X windows: $(xwininfo -root -tree | grep -c kelmar32) of kelmar32.exe;" \
            "launcher: $(tr '\n' ' ' <"$home/kelmar.out" | cut -c1-200))"
        xwininfo -root -tree | grep -i kelmar >>"$result"
        kill "$pid" 2>/dev/null
        return
    fi
    read -r x y w h state <<<"$(geometry "$bar")"
    geo="${w}x${h}+${x}+${y} on a ${screen_w} wide screen"
    # Under mutter the hidden bar came back for a moment at each clock tick (every 6 s): look after one.
    sleep 7
    read -r _ _ _ _ state <<<"$(geometry "$bar")"
    [ "$state" = IsViewable ] || notes+=" hidden again after a clock tick;"
    [ "$y" -le 48 ] || notes+=" not at the top edge;"
    { [ "$x" -le 0 ] && [ $((x + w)) -ge "$screen_w" ]; } || notes+=" not across the whole width;"
    xprop -id "$bar" _NET_WM_STATE | grep -q _NET_WM_STATE_ABOVE || notes+=" not kept above (no _NET_WM_STATE_ABOVE);"
    if [ -n "$cover" ]; then
        focus "$cover"
        wait_for 5 stacked_above "$cover" "$bar" >/dev/null && notes+=" Stay on top: the active maximised window covers the bar;"
    fi
    [ "${name%-x11}" = gnome ] && gnome_shot "$SHOTS/$name-start.png"
    # The keyboard first; the mouse last, on the first menu's title at the bar's left end.
    how=
    for try in "F10" "a click"; do
        case $try in
            F10) focus "$bar"; xdotool key F10 Down ;;
            *) xdotool key Escape Escape; xdotool mousemove $((x + 14)) $((y + h / 2)) click 1 ;;
        esac
        menu=$(wait_for 10 menu_window) && { how=$try; break; }
    done
    [ "$how" = F10 ] || notes+=" menu by ${how:-nothing};"
    # Alt and the first menu's underlined letter (its name in apps.dat begins with & and that letter).
    letter=$(head -c 2 "$home/.local/share/kelmar/apps.dat" | sed -n 's/^&\(.\)$/\1/p' | tr '[:upper:]' '[:lower:]')
    if [ "$how" = F10 ] && [ -n "$letter" ]; then
        xdotool key Escape Escape
        wait_for 10 menu_gone >/dev/null || notes+=" the menu stayed open after Escape;"
        focus "$bar"
        xdotool key "alt+$letter"
        menu=$(wait_for 10 menu_window) || notes+=" no menu from Alt+$letter;"
    fi
    if [ -n "$how" ]; then
        # A rootless XWayland has no picture of its root window: then the bar and the menu, each alone.
        mkdir -p "$SHOTS"
        import -window root "$SHOTS/$name-menu.png" 2>/dev/null \
            || { import -window "$bar" "$SHOTS/$name-bar.png"; import -window "$menu" "$SHOTS/$name-menu.png"; } 2>/dev/null
        [ "${name%-x11}" = gnome ] && gnome_shot "$SHOTS/$name-screen.png"
    fi
    xdotool key Escape Escape
    wait_for 10 menu_gone >/dev/null
    # The accelerator Ctrl+O and Stay on top unticked: the bar is made again, no longer above the active
    # maximised window. The change reaches kelmar.ini only when Kelmar ends: here with the session.
    focus "$bar"
    xdotool key ctrl+o
    if options=$(wait_for 10 named_window "Kelmar Options"); then
        focus "$options"
        xdotool key Tab Tab space Return
        old=$bar
        if bar=$(wait_for 20 another_bar "$old"); then
            ! xprop -id "$bar" _NET_WM_STATE | grep -q _NET_WM_STATE_ABOVE || notes+=" Stay on top off: still _NET_WM_STATE_ABOVE;"
            if [ -n "$cover" ]; then
                focus "$cover"
                wait_for 10 stacked_above "$cover" "$bar" >/dev/null || notes+=" Stay on top off: the active maximised window does not cover the bar;"
            fi
        else
            notes+=" the bar was not made again after Stay on top was unticked;"
            bar=$old
        fi
    else
        notes+=" Ctrl+O opened no Options dialog;"
    fi
    # The session ends as a session manager ends it: SIGTERM, then SIGHUP, to each of its processes.
    pids="$pid $(pgrep -P "$pid")"
    for dir in /proc/[0-9]*; do
        { tr '\0' '\n' <"$dir/environ"; } 2>/dev/null | grep -qxF "WINEPREFIX=$home/.local/share/kelmar/wineprefix" && pids+=" ${dir#/proc/}"
    done
    # shellcheck disable=SC2086 # one process id a word
    kill -s TERM $pids 2>/dev/null
    # shellcheck disable=SC2086
    kill -s HUP $pids 2>/dev/null
    wait_end
    [ "$status" = timeout ] && notes+=" Kelmar did not end with the session;"
    grep -qs '^StayOnTop=0' "$ini" || notes+=" the session's end did not save Stay on top unticked;"
    # Started again: not above, as saved; then Exit Kelmar, the first menu's last item, by mouse when
    # the keyboard opened no menu.
    start_kelmar
    if bar=$(wait_for "$limit" bar_window); then
        ! xprop -id "$bar" _NET_WM_STATE | grep -q _NET_WM_STATE_ABOVE || notes+=" started again: _NET_WM_STATE_ABOVE though Stay on top is off;"
        read -r x y _ h _ <<<"$(geometry "$bar")"
        if [ "$how" = F10 ]; then
            focus "$bar"
            xdotool key F10 Down
        else
            xdotool mousemove $((x + 14)) $((y + h / 2)) click 1
        fi
        if menu=$(wait_for 10 menu_window); then
            if [ "$how" = F10 ]; then
                focus "$menu"
                xdotool key x
            else
                read -r mx my _ mh _ <<<"$(geometry "$menu")"
                xdotool mousemove $((mx + 20)) $((my + mh - 8)) click 1
            fi
        else
            notes+=" started again: no menu;"
            xdotool key Escape Escape ctrl+x
        fi
        wait_end
        [ "$status" = 0 ] || notes+=" exit: $status;"
    else
        notes+=" started again: no viewable bar;"
        kill "$pid" 2>/dev/null
    fi
    kill "$cover_pid" 2>/dev/null
    if [ -z "$notes" ]; then
        say "PASS bar $geo, stays viewable and above a maximised window, menus by F10 and Alt+${letter:-?}," \
            "Ctrl+O unticks Stay on top (then covered), saved at the session's end, Exit gives 0"
    else
        say "FAIL bar $geo:$notes"
    fi
    WINEPREFIX=$home/.local/share/kelmar/wineprefix "${WINESERVER:-/usr/lib/wine/wineserver64}" -k 2>/dev/null
    rm -rf "$home"
}

# ---- Each desktop, headless ----

# Starts Xvfb on a display of its own choice; sets DISPLAY and xvfb_pid.
start_xvfb() {
    local fd
    fd=$(mktemp)
    Xvfb -displayfd 3 -screen 0 "${W}x${H}x24" -nolisten tcp 3>"$fd" >/dev/null 2>&1 &
    xvfb_pid=$!
    wait_for 30 sh -c "[ -s '$fd' ] && head -n1 '$fd'" >/dev/null || return 1
    DISPLAY=:$(head -n1 "$fd")
    export DISPLAY
    rm -f "$fd"
    wait_for 30 sh -c 'xdpyinfo >/dev/null 2>&1 && echo up' >/dev/null
}
wm_running() { xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q 'window id'; }

# Without logind (a chroot) gnome-shell needs a system bus, and no empty /run/systemd/seats, which would
# make it wait for logind's seats. Sets sysbus to the process id of a bus it starts.
start_system_bus() {
    rmdir /run/systemd/seats 2>/dev/null
    dbus-send --system --dest=org.freedesktop.DBus / org.freedesktop.DBus.GetId 2>/dev/null \
        || { rm -f /run/dbus/system_bus_socket /run/dbus/pid; mkdir -p /run/dbus; sysbus=$(dbus-daemon --system --fork --print-pid); }
}

run_desktop() {  # DESKTOP
    local name=$1 result pid wm log run shell sysbus=
    command -v "$(program_of "$name")" >/dev/null || { echo "$name: FAIL $(program_of "$name") is not installed"; return 1; }
    result=$(mktemp) log=$(mktemp)
    run="$0 --inside $name $result"
    export XDG_RUNTIME_DIR
    XDG_RUNTIME_DIR=$(mktemp -d)
    chmod 700 "$XDG_RUNTIME_DIR"
    mkdir -p /tmp/.X11-unix 2>/dev/null && chmod 1777 /tmp/.X11-unix 2>/dev/null
    case $name in
        mutter)
            timeout $((limit * 4)) dbus-run-session -- mutter --headless --wayland --virtual-monitor "${W}x$H" \
                --wayland-display "kelmar-$$" -- $run >"$log" 2>&1 ;;
        gnome)
            # gnome-shell starts no command of its own: its log names the X display it opened.
            start_system_bus
            dbus-run-session -- sh -c 'echo "bus $DBUS_SESSION_BUS_ADDRESS"; echo "shell $$"
                exec gnome-shell --headless --wayland \
                --virtual-monitor "$1" --wayland-display "$2"' sh "${W}x$H" "kelmar-$$" >"$log" 2>&1 &
            pid=$!
            if wait_for $((limit * 2)) sh -c "grep -m1 'GNOME Shell started' '$log' || kill -0 $pid 2>/dev/null || echo ended" >/dev/null \
                    && kill -0 "$pid" 2>/dev/null; then
                XAUTHORITY=$(find "$XDG_RUNTIME_DIR" -maxdepth 1 -name '.mutter-Xwaylandauth.*' | head -n1) \
                DISPLAY=$(grep -m1 -o 'Using public X11 display :[0-9]*' "$log" | grep -o ':[0-9]*') \
                    WAYLAND_DISPLAY=kelmar-$$ DBUS_SESSION_BUS_ADDRESS=$(grep -m1 '^bus ' "$log" | cut -c5-) $run
            fi
            # gnome-shell alone: dbus-run-session then ends its bus itself.
            shell=$(grep -m1 '^shell ' "$log" | cut -c7-)
            kill "${shell:-$pid}" 2>/dev/null; wait "$pid" 2>/dev/null
            [ -n "${sysbus:-}" ] && kill "$sysbus" ;;
        kwin)
            timeout $((limit * 4)) dbus-run-session -- kwin_wayland --virtual --width "$W" --height "$H" --xwayland \
                --socket "kelmar-$$" --exit-with-session "$run" >"$log" 2>&1 ;;
        labwc)
            WLR_BACKENDS=headless WLR_RENDERER=pixman WLR_LIBINPUT_NO_DEVICES=1 \
                timeout $((limit * 4)) dbus-run-session -- labwc -S "$run" >"$log" 2>&1 ;;
        sway)
            printf '%s\n' "output HEADLESS-1 resolution ${W}x$H" 'xwayland enable' "exec sh -c '$run; swaymsg exit'" \
                >"$XDG_RUNTIME_DIR/sway.conf"
            WLR_BACKENDS=headless WLR_RENDERER=pixman WLR_LIBINPUT_NO_DEVICES=1 \
                timeout $((limit * 4)) dbus-run-session -- sway -c "$XDG_RUNTIME_DIR/sway.conf" >"$log" 2>&1 ;;
        weston)
            # weston runs the command after "--" with DISPLAY naming its XWayland, and ends when it ends.
            timeout $((limit * 4)) dbus-run-session -- weston --backend=headless --renderer=pixman --width="$W" --height="$H" \
                --xwayland --socket="kelmar-$$" -- $run >"$log" 2>&1 ;;
        mutter-x11|xfwm4|gnome-x11)
            (
                start_xvfb || { echo "$name: FAIL Xvfb did not start" >>"$result"; exit; }
                if [ "$name" = xfwm4 ]; then
                    xfwm4 --compositor=off >"$log" 2>&1 &
                elif [ "$name" = gnome-x11 ]; then
                    start_system_bus
                    dbus-run-session -- sh -c 'echo "bus $DBUS_SESSION_BUS_ADDRESS"; echo "shell $$"
                        exec gnome-shell --x11 --replace' >"$log" 2>&1 &
                else
                    dbus-run-session -- sh -c 'echo "shell $$"; exec mutter --x11 --replace --sm-disable' >"$log" 2>&1 &
                fi
                wm=$!
                # mutter alone, so that dbus-run-session ends its bus itself.
                [ "$name" != xfwm4 ] && wait_for 10 grep -m1 '^shell ' "$log" >/dev/null && wm="$(grep -m1 '^shell ' "$log" | cut -c7-) $wm"
                if wait_for 60 sh -c "$(declare -f wm_running); wm_running && echo up" >/dev/null; then
                    DBUS_SESSION_BUS_ADDRESS=$(grep -m1 '^bus ' "$log" | cut -c5-) $run
                else
                    echo "$name: FAIL the window manager did not start" >>"$result"
                fi
                kill "${wm%% *}" 2>/dev/null; wait "${wm##* }" 2>/dev/null
                kill "$xvfb_pid" 2>/dev/null; wait "$xvfb_pid" 2>/dev/null
                [ -n "${sysbus:-}" ] && kill "$sysbus"
            ) ;;
    esac
    if [ -s "$result" ]; then
        cat "$result"
    else
        echo "$name: FAIL the desktop ended without a result; its log ends:"
        tail -n 8 "$log" | sed 's/^/    /'
    fi
    grep -q ": PASS" "$result"
    local passed=$?
    rm -rf "$result" "$log" "$XDG_RUNTIME_DIR"
    return $passed
}

if [ "${1:-}" = --inside ]; then
    inside "$2" "$3"
    exit 0
fi

if [ "${1:-}" = --install ]; then
    deb=$(readlink -f "${2:?--install takes the path of the package}")
    shift 2
    wanted=${*:-$all}
    # shellcheck disable=SC2046
    DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends "$deb" dbus dbus-x11 x11-utils \
        xdotool imagemagick xterm $(for d in $wanted; do packages_of "$d"; done) >/dev/null || exit 1
fi
desktops=${*:-}
if [ -z "$desktops" ]; then
    for d in $all; do command -v "$(program_of "$d")" >/dev/null && desktops+=" $d"; done
fi
command -v kelmar >/dev/null || { echo "kelmar is not installed; see --install" >&2; exit 1; }

# Limits scaled to this machine: the time Wine takes to set up Kelmar's prefix, taken once for all runs
# (each run's own first start then only writes kelmar.ini and the menus).
export prepared
prepared=$(mktemp -d)
trap 'WINEPREFIX=$prepared/.local/share/kelmar/wineprefix "${WINESERVER:-/usr/lib/wine/wineserver64}" -k 2>/dev/null; rm -rf "$prepared"' EXIT
start=$(date +%s)
HOME=$prepared XDG_CONFIG_HOME=$prepared/.config kelmar --import >/dev/null 2>&1 || { echo "kelmar --import failed" >&2; exit 1; }
# The prefix is copied for each run: first its Wine server ends, which writes the registry to its files.
WINEPREFIX=$prepared/.local/share/kelmar/wineprefix "${WINESERVER:-/usr/lib/wine/wineserver64}" -w
export limit=$(( ($(date +%s) - start) * 2 + 30 ))
echo "Kelmar's Wine prefix took $(( $(date +%s) - start )) s to set up; waits are limited to $limit s"

failed=0
for d in $desktops; do
    run_desktop "$d" || failed=$((failed + 1))
done
echo "$failed of $(wc -w <<<"$desktops") desktops failed; screenshots in $SHOTS"
[ "$failed" = 0 ]
