#!/usr/bin/env bash
# The installed package's bar (/usr/bin/kelmar) under the window managers and compositors of the Linux
# desktops, each started headless on a small virtual screen, checked from the X side as a user would see
# it: on the first run the thanks box comes and takes Return; the bar's window is viewable, at the top
# edge (at most a top panel's height down), across the whole width, and still viewable after a clock
# tick; F10 and Down open its first menu, Escape closes it, Alt and the first menu's letter open that
# one; x in the first menu (Exit Kelmar) ends kelmar with exit code 0.
# Not part of the CI suite: it needs the compositors installed, and --install puts them in (as root, on
# a Debian 13 machine or chroot, e.g. through SUITE=trixie ../shared/tools/newcomer-check.sh).
#
# Usage: tests/desktops/bar_on_desktops.sh [--install kelmar_VERSION-1_amd64.deb] [DESKTOP...]
#   DESKTOP: gnome (gnome-shell on Wayland), mutter (bare mutter on Wayland), mutter-x11, kwin
#   (KDE Plasma's KWin on Wayland), xfwm4 (Xfce, X11), labwc, sway; by default each whose program is here.
# Screenshots of the open menu go to $SHOTS (default: ./desktop-shots). Exit code 0 when all passed.
set -u
W=1280 H=800
SHOTS=${SHOTS:-$PWD/desktop-shots}
all="gnome mutter mutter-x11 kwin xfwm4 labwc sway"

program_of() {
    case $1 in
        gnome) echo gnome-shell ;; mutter|mutter-x11) echo mutter ;; kwin) echo kwin_wayland ;; *) echo "$1" ;;
    esac
}
packages_of() {
    case $1 in
        gnome) echo gnome-shell xwayland python3-gi gir1.2-glib-2.0 ;; mutter) echo mutter xwayland ;; mutter-x11) echo mutter xvfb ;;
        kwin) echo kwin-wayland xwayland ;; xfwm4) echo xfwm4 xvfb ;; labwc) echo labwc xwayland ;;
        sway) echo sway xwayland ;;
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

inside() {  # DESKTOP RESULT-FILE
    local name=$1 result=$2 home pid status bar box menu geo x y w h state notes='' how try letter
    say() { echo "$name: $*" >>"$result"; }
    screen_w=$(xwininfo -root | awk '/^ *Width/{print $2}')
    home=$(mktemp -d)
    cp -a "$prepared/." "$home/"
    (HOME=$home XDG_CONFIG_HOME=$home/.config exec kelmar >"$home/kelmar.out" 2>&1) &
    pid=$!
    if box=$(wait_for "$limit" box_window); then
        focus "$box"
        xdotool key Return
    else
        notes="no thanks box;"
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
    [ "$name" = gnome ] && gnome_shot "$SHOTS/$name-start.png"
    # GNOME starts on its overview, where the keys go to its search, as a user who logs in sees it: the
    # user leaves it (here through gnome-shell's own D-Bus property). Then the keyboard; the mouse last,
    # on the first menu's title at the bar's left end.
    [ "$name" = gnome ] && gnome_overview_off
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
        wait_for 10 menu_window >/dev/null || notes+=" no menu from Alt+$letter;"
        xdotool key Escape Escape
        sleep 1
        focus "$bar"
        xdotool key F10 Down
        menu=$(wait_for 10 menu_window) || notes+=" no menu from F10 a second time;"
    fi
    if [ -n "$how" ]; then
        # A rootless XWayland has no picture of its root window: then the bar and the menu, each alone.
        mkdir -p "$SHOTS"
        import -window root "$SHOTS/$name-menu.png" 2>/dev/null \
            || { import -window "$bar" "$SHOTS/$name-bar.png"; import -window "$menu" "$SHOTS/$name-menu.png"; } 2>/dev/null
        [ "$name" = gnome ] && gnome_shot "$SHOTS/$name-screen.png"
        if [ "$how" = "a click" ]; then  # Exit Kelmar, the menu's last item
            read -r mx my _ mh _ <<<"$(geometry "$menu")"
            xdotool mousemove $((mx + 20)) $((my + mh - 8)) click 1
        else
            focus "$menu"
            xdotool key x
        fi
    else
        xdotool key Escape Escape ctrl+x
    fi
    status=timeout
    for _ in $(seq $((limit * 5))); do
        kill -0 "$pid" 2>/dev/null || { wait "$pid"; status=$?; break; }
        sleep 0.2
    done
    [ "$status" = 0 ] || { notes+=" exit: $status;"; kill "$pid" 2>/dev/null; }
    if [ -z "$notes" ]; then
        say "PASS bar $geo, stays viewable, menus by F10 and Alt+${letter:-?}, Exit gives 0"
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

run_desktop() {  # DESKTOP
    local name=$1 result pid wm log run shell
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
            # Without logind (a chroot) gnome-shell needs a system bus, and no empty /run/systemd/seats,
            # which would make it wait for logind's seats.
            rmdir /run/systemd/seats 2>/dev/null
            dbus-send --system --dest=org.freedesktop.DBus / org.freedesktop.DBus.GetId 2>/dev/null \
                || { rm -f /run/dbus/system_bus_socket /run/dbus/pid; mkdir -p /run/dbus; sysbus=$(dbus-daemon --system --fork --print-pid); }
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
        mutter-x11|xfwm4)
            (
                start_xvfb || { echo "$name: FAIL Xvfb did not start" >>"$result"; exit; }
                if [ "$name" = xfwm4 ]; then
                    xfwm4 --compositor=off >"$log" 2>&1 &
                else
                    dbus-run-session -- sh -c 'echo "shell $$"; exec mutter --x11 --replace --sm-disable' >"$log" 2>&1 &
                fi
                wm=$!
                # mutter alone, so that dbus-run-session ends its bus itself.
                [ "$name" = mutter-x11 ] && wait_for 10 grep -m1 '^shell ' "$log" >/dev/null && wm="$(grep -m1 '^shell ' "$log" | cut -c7-) $wm"
                if wait_for 60 sh -c "$(declare -f wm_running); wm_running && echo up" >/dev/null; then
                    $run
                else
                    echo "$name: FAIL the window manager did not start" >>"$result"
                fi
                kill "${wm%% *}" 2>/dev/null; wait "${wm##* }" 2>/dev/null
                kill "$xvfb_pid" 2>/dev/null; wait "$xvfb_pid" 2>/dev/null
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
        xdotool imagemagick $(for d in $wanted; do packages_of "$d"; done) >/dev/null || exit 1
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
