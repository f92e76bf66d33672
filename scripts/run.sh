#!/usr/bin/env bash
# Builds KELMAR32.EXE and runs it under 64-bit Wine. On a desktop it opens on your display, keeping
# apps.dat and its Wine prefix in ${XDG_DATA_HOME:-~/.local/share}/kelmar. With no display it runs on a
# virtual one, saves a screenshot of the bar, and closes Kelmar again.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
scripts/setup.sh
cmake --preset win64 >/dev/null
cmake --build --preset win64 --target kelmar deb_files
exe=$root/build/win64/KELMAR32.EXE

if [ -n "${DISPLAY:-}" ] && xdpyinfo >/dev/null 2>&1; then
    # The packaged launcher, from the build's own install tree: the same data folder and Wine prefix
    # whether Kelmar comes from here or from the Debian package.
    cmake --install build/win64 --prefix build/win64/stage >/dev/null
    echo "Kelmar runs on $DISPLAY; its catalogue is ${XDG_DATA_HOME:-$HOME/.local/share}/kelmar/apps.dat." \
         "Choose Exit Kelmar (Ctrl+X) to end it."
    exec build/win64/stage/bin/kelmar
fi

. scripts/wine-env.sh
kelmar_wine_start virtual
trap kelmar_wine_stop EXIT
work=$root/build/run
mkdir -p "$work"
(cd "$work" && exec "$root/scripts/wine-run" "$exe") &
pid=$!
find_window() {  # $1: awk test over y and w
    for id in $(xdotool search --onlyvisible --name '^Kelmar$' 2>/dev/null); do
        xdotool getwindowgeometry --shell "$id" | awk -F= '{v[$1]=$2} END {exit !('"$1"')}' && { echo "$id"; return 0; }
    done
    return 1
}
for _ in $(seq 100); do
    box=$(find_window 'v["Y"] > 100') && { xdotool windowfocus "$box"; xdotool key Return; }  # first-run thanks
    bar=$(find_window 'v["Y"] <= 4') && break
    sleep 0.2
done
[ -n "${bar:-}" ] || { echo "Kelmar's bar did not appear" >&2; kill "$pid"; exit 1; }
sleep 1
shot=$root/build/kelmar-bar.png
import -window root -crop 1024x120+0+0 "$shot"
echo "No display here: Kelmar ran on a virtual display. Screenshot of its bar: $shot"
xdotool windowfocus "$bar"
xdotool key ctrl+x
wait "$pid"
echo "Kelmar ended with exit code $? (its catalogue: $work/apps.dat)"
