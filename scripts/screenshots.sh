#!/usr/bin/env bash
# Takes the README's pictures from the real program: builds the x86_64 KELMAR32.EXE, runs it under
# Wine on a private virtual display with the default catalogue, opens a popup and each dialog by its
# keys, then with the menus that kelmar-import makes from a desktop's applications, and writes PNGs that match the screen exactly to docs/ and their list to the README's picture
# block. A dialog whose window does not appear is left out and named.
set -uo pipefail
cd "$(dirname "$0")/.." || exit 1
root=$(pwd)
scripts/setup.sh || exit 1
cmake --preset win64 >/dev/null && cmake --build --preset win64 --target kelmar deb_files || exit 1
exe=$root/build/win64/KELMAR32.EXE
out=$root/docs
mkdir -p "$out"
(cd "$out" && rm -f bar.png desktop-bar.png user-menus.png menu-setup.png app-setup.png options.png about.png)

. scripts/wine-env.sh
unset WINEPREFIX
kelmar_wine_start virtual || exit 1
work=$(mktemp -d)
pid=
trap '[ -n "$pid" ] && kill "$pid" 2>/dev/null; kelmar_wine_stop; rm -rf "$work"' EXIT

# Prints the id of the visible window titled exactly $1, waiting up to $2 seconds.
window() {
    local id
    for _ in $(seq $((${2:-10} * 10))); do
        id=$(xdotool search --onlyvisible --name "^$1\$" 2>/dev/null | tail -n1)
        [ -n "$id" ] && { echo "$id"; return 0; }
        sleep 0.1
    done
    return 1
}
key() { xdotool windowfocus "$1" 2>/dev/null; sleep 0.3; xdotool key --clearmodifiers "$2"; }
# Saves the screen area X Y W H as docs/NAME.png, pixel for pixel: with an 8-bit palette and no
# dithering when the area has at most 256 colours (as every dialog does), in full colour otherwise.
# The saved picture is compared with the screen's and must not differ in a single pixel.
shoot() {
    local screen=$work/$1-screen.png picture=$out/$1.png differ
    sleep 0.8
    import -window root -crop "$4x$5+$2+$3" +repage -strip "PNG24:$screen" || return 1
    if [ "$(identify -format %k "$screen")" -le 256 ]; then
        convert "$screen" +dither -strip -define png:exclude-chunks=date,time "PNG8:$picture" || return 1
    else
        convert "$screen" -strip -define png:exclude-chunks=date,time "PNG24:$picture" || return 1
    fi
    differ=$(compare -metric AE "$screen" "$picture" null: 2>&1)
    if [ "$differ" != 0 ]; then
        echo "docs/$1.png differs from the screen in $differ pixels" >&2
        rm -f "$picture"
        return 1
    fi
    echo "docs/$1.png ($4x$5, $(identify -format %k "$picture") colours, $(stat -c %s "$picture") bytes)"
}
shoot_window() {  # NAME WINDOW
    eval "$(xdotool getwindowgeometry --shell "$2")"
    shoot "$1" "$X" "$Y" "$WIDTH" "$HEIGHT"
}
missing=()

# Starts Kelmar in the folder $1 and sets bar to its bar, answering the first run's thanks box.
start_kelmar() {
    bar=
    (cd "$1" && exec "$root/scripts/wine-run" "$exe") &
    pid=$!
    for _ in $(seq 100); do
        id=$(window Kelmar 1) || continue
        eval "$(xdotool getwindowgeometry --shell "$id")"
        if [ "$Y" -gt 100 ]; then key "$id" Return; else bar=$id; break; fi
    done
    [ -n "$bar" ] || { echo "Kelmar's bar did not appear" >&2; exit 1; }
}
end_kelmar() {
    key "$bar" ctrl+x
    for _ in $(seq 100); do kill -0 "$pid" 2>/dev/null || break; sleep 0.2; done
    kill -0 "$pid" 2>/dev/null && echo "Kelmar did not end on Ctrl+X; stopped it" >&2
    kill "$pid" 2>/dev/null
    pid=
}

start_kelmar "$work"

key "$bar" alt+g  # the Games popup of the default catalogue
shoot bar 0 0 1024 72
key "$bar" Escape; key "$bar" Escape

key "$bar" ctrl+o
if dialog=$(window "Kelmar Options" 5); then shoot_window options "$dialog"; key "$dialog" Escape; else missing+=(Options); key "$bar" Escape; fi

key "$bar" F10; key "$bar" Down; key "$bar" a  # the "§" popup, About Kelmar
if dialog=$(window "About Kelmar" 5); then shoot_window about "$dialog"; key "$dialog" Return; else missing+=(About); key "$bar" Escape; key "$bar" Escape; fi

key "$bar" ctrl+e
if menus=$(window "User Menus" 5); then
    key "$menus" Tab; key "$menus" Down  # select the first menu, so its apps are listed
    shoot_window user-menus "$menus"
    key "$menus" alt+m
    if dialog=$(window "Menu Setup" 5); then shoot_window menu-setup "$dialog"; key "$dialog" Escape; else missing+=("Menu Setup"); fi
    key "$menus" alt+a
    if dialog=$(window "Application Setup" 5); then shoot_window app-setup "$dialog"; key "$dialog" Escape; else missing+=("Application Setup"); fi
    key "$menus" Return
else
    missing+=("User Menus" "Menu Setup" "Application Setup")
fi

key "$bar" Escape; key "$bar" Escape
bar=$(xdotool search --onlyvisible --name '^Kelmar$' | head -n1)
end_kelmar

# The first bar on Linux, made by kelmar-import from a desktop's applications (Debian's desktop entries
# of a desktop's usual applications, in English), with its Internet popup open.
tree=$root/build/bench/desktop
first=$work/first
mkdir -p "$first"
if tests/bench/desktop_tree.sh "$tree" >/dev/null \
        && (cd "$first" && PATH=$tree/bin:$PATH XDG_DATA_HOME=$first/none XDG_DATA_DIRS=$tree XDG_CURRENT_DESKTOP=GNOME \
            LC_ALL=C.UTF-8 "$root/build/win64/linux/kelmar-import" --codepage 1252 >/dev/null); then
    start_kelmar "$first"
    key "$bar" alt+i
    shoot desktop-bar 0 0 1024 176
    key "$bar" Escape; key "$bar" Escape
    end_kelmar
else
    missing+=("the bar of a desktop's applications")
fi
[ ${#missing[@]} -eq 0 ] || echo "Not in this build, so no picture: ${missing[*]}"

# The README's picture block lists the pictures taken, in this order.
block=""
for pair in "bar:The bar with the Games popup open" \
            "desktop-bar:On Linux, the first bar made from the desktop's applications" "user-menus:User Menus (Ctrl+E)" \
            "menu-setup:Menu Setup (New Menu)" "app-setup:Application Setup (New App)" \
            "options:Kelmar Options (Ctrl+O)" "about:About Kelmar"; do
    [ -f "$out/${pair%%:*}.png" ] && block+="![${pair#*:}](docs/${pair%%:*}.png)"$'\n'
done
python3 - "$root/README.md" "$block" <<'PY'
import re, sys
path, block = sys.argv[1], sys.argv[2]
text = open(path).read()
text = re.sub(r"(<!-- pictures -->\n).*?(<!-- /pictures -->)", lambda m: m.group(1) + block + m.group(2), text, flags=re.S)
open(path, "w").write(text)
PY
echo "README.md lists the pictures in docs/"
