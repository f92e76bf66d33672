#!/usr/bin/env bash
# Kelmar's figures, each measured beside its baseline in the same run, printed as one table:
# start-up under Wine (median of KELMAR_BENCH_RUNS, default 10) against a bare Win32 window program,
# stripped sizes, catalogue load and save against plain fread/fwrite of the same bytes (natively,
# Google Benchmark), CPU used over KELMAR_BENCH_IDLE seconds of idle (default 60), resident memory,
# start-up through the packaged launcher kelmar against wine64 directly, and the packages that the
# first README command installs on a fresh Debian 12 before and after its set-up was made lighter; the
# time kelmar-import takes for a small desktop-entry tree and for a desktop's usual applications, and
# kelmar --import as a whole (Wine asked for the code page) beside Kelmar's start-up; and the Windows
# setup's size against the ZIP's with its install and uninstall times (tests/bench/setup_bench.sh).
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
runs=${KELMAR_BENCH_RUNS:-10}
idle=${KELMAR_BENCH_IDLE:-60}
scripts/setup.sh --tests
for preset in win64 win32; do
    cmake --preset "$preset" >/dev/null
    cmake --build --preset "$preset" --target kelmar bare >/dev/null
done
out=$root/build/bench
mkdir -p "$out"
cmake --build --preset win64 --target deb_files >/dev/null
cmake --install build/win64 --prefix "$out/stage" >/dev/null
g++ -std=c++17 -O2 -DNDEBUG -I"$root" tests/bench/catalogue_bench.cpp catalogue/catalogue_file.cpp catalogue/records.cpp \
    core/text.cpp -lbenchmark -lpthread -o "$out/catalogue_bench"

. scripts/wine-env.sh
kelmar_wine_start virtual
trap kelmar_wine_stop EXIT
printf '[Options]\r\nStayOnTop=1\r\nChimeOnHour=0\r\nChime WAV=\r\n' > "$WINEPREFIX/drive_c/windows/kelmar.ini"
/usr/bin/python3 - "$out/big.dat" <<'PY'
import struct, sys
out = bytearray()
for m in range(65):
    out += (b'Menu %d' % m).ljust(32, b'\0') + struct.pack('<iIII', 100, 0, 0, 0)
    for a in range(100):
        out += (b'c:\\apps\\tool%d.exe' % a).ljust(160, b'\0') + bytes(30) + (b'App %d' % a).ljust(30, b'\0') + bytes(8)
open(sys.argv[1], 'wb').write(out)
PY

median() { sort -n | awk '{v[NR] = $1} END {print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2}'; }

# Seconds from process start to its window mapped; TITLE CATALOGUE COMMAND..., run in a fresh working
# folder holding CATALOGUE when it is not "-". The process is killed after.
startup() {
    local title=$1 catalogue=$2 dir line
    shift 2
    for _ in $(seq "$runs"); do
        dir=$(mktemp -d "$out/run.XXXXXX")
        [ "$catalogue" != - ] && cp "$catalogue" "$dir/apps.dat"
        line=$(cd "$dir" && /usr/bin/python3 "$root/tests/bench/xmap_time.py" "$title" "$@")
        kill -9 "${line#* }" 2>/dev/null || true
        sleep 0.3
        rm -rf "$dir"
        echo "${line% *}"
    done | median
}

bare64=$root/build/win64/bare.exe
kelmar64=$root/build/win64/KELMAR32.EXE
wine=$root/scripts/wine-run
startup Bare - "$wine" "$bare64" >/dev/null  # warm the prefix and the file cache once
t_bare=$(startup Bare - "$wine" "$bare64")
t_default=$(startup Kelmar - "$wine" "$kelmar64")
t_big=$(startup Kelmar "$out/big.dat" "$wine" "$kelmar64")
# The launcher in a data folder whose prefix is this run's warm one and whose menus kelmar --import made
# from a desktop's usual applications (tests/bench/desktop_tree.sh); Kelmar run directly gets the same
# apps.dat, so that only the launcher differs.
desktop=$root/build/bench/desktop
stubs=$desktop/bin
tests/bench/desktop_tree.sh "$desktop" >/dev/null
xdg=$(mktemp -d "$out/xdg.XXXXXX")
rm -f "$out/direct.times" "$out/launcher.times"
mkdir "$xdg/kelmar"
ln -s "$WINEPREFIX" "$xdg/kelmar/wineprefix"
PATH=$stubs:$PATH XDG_DATA_HOME=$xdg XDG_DATA_DIRS=$desktop "$out/stage/bin/kelmar" --import >/dev/null
cp "$xdg/kelmar/apps.dat" "$out/imported.dat"
# Turn about, so that a busy moment of the machine falls on both alike.
for _ in $(seq "$runs"); do
    runs=1 startup Kelmar "$out/imported.dat" "$wine" "$kelmar64" >>"$out/direct.times"
    XDG_DATA_HOME=$xdg runs=1 startup Kelmar - "$out/stage/bin/kelmar" >>"$out/launcher.times"
done
t_direct=$(median <"$out/direct.times")
t_launcher=$(median <"$out/launcher.times")
rm -f "$out/direct.times" "$out/launcher.times"

# The import's time for a small desktop-entry tree like the test's, and for the desktop's usual
# applications above.
small=$out/desktop-small
rm -rf "$small" && mkdir -p "$small/applications"
for n in $(seq 13); do
    printf '[Desktop Entry]\nType=Application\nName=Application %s\nName[de]=Anwendung für %s\nExec=true %%U\nCategories=%s;\n' \
        "$n" "$n" "$(echo Network Office Graphics Utility Game | cut -d' ' -f$((n % 5 + 1)))" >"$small/applications/app$n.desktop"
done
import_time() {  # TREE: seconds kelmar-import takes, median of the runs
    local folder began
    for _ in $(seq "$runs"); do
        folder=$(mktemp -d "$out/import.XXXXXX")
        began=$(date +%s.%N)
        (cd "$folder" && PATH=$stubs:$PATH XDG_DATA_HOME=$folder XDG_DATA_DIRS=$1 LC_ALL=de_DE.UTF-8 \
            "$root/build/win64/linux/kelmar-import" --codepage 1252 >/dev/null)
        awk -v a="$began" -v b="$(date +%s.%N)" 'BEGIN {print b - a}'
        rm -rf "$folder"
    done | median
}
t_import_small=$(import_time "$small")
t_import_real=$(import_time "$desktop")
n_real=$(cd "$out" && PATH=$stubs:$PATH XDG_DATA_HOME=$out/none XDG_DATA_DIRS=$desktop "$root/build/win64/linux/kelmar-import" \
    --codepage 1252 2>/dev/null | sed -n 's/^Made \([0-9]*\) menus of \([0-9]*\) applications.*/\2 apps in \1 menus/p')
rm -f "$out/apps.dat" "$out/kelmar.lock"
# kelmar --import as a whole, in the warm prefix, beside Kelmar's start-up through kelmar.
for _ in $(seq "$runs"); do
    rm -f "$xdg/kelmar/apps.dat"
    began=$(date +%s.%N)
    PATH=$stubs:$PATH XDG_DATA_HOME=$xdg XDG_DATA_DIRS=$desktop "$out/stage/bin/kelmar" --import >/dev/null
    awk -v a="$began" -v b="$(date +%s.%N)" 'BEGIN {print b - a}'
done | median >"$out/import.time"
t_import_whole=$(cat "$out/import.time")
rm -rf "$xdg" "$out/import.time"

# Packages a set-up list brings onto a fresh Debian 12 (minbase, plus git, sudo, procps and
# ca-certificates as a newcomer has them): apt's own resolution against an empty system, less what
# that fresh system already holds. $1 is the text of a scripts/setup.sh.
apt_closure() {
    apt-get install -s -o Dir::State::status="$out/empty-status" -o APT::Architectures="$(dpkg --print-architecture)" \
        --no-install-recommends "$@" 2>/dev/null | awk '/^Inst / {print $2}' | sort -u
}
first_command_packages() {
    local packages=()
    eval "$(sed -n '/^packages=(/,/)/p' <<<"$1")"
    [ ${#packages[@]} -gt 0 ] || { echo -; return; }
    apt_closure "${packages[@]}" | comm -23 - "$out/fresh" | wc -l
}
: >"$out/empty-status"
mapfile -t required < <(apt-cache dumpavail | awk -v RS= '/\nPriority: required/ {sub(/^Package: /, ""); sub(/\n.*/, ""); print}' | sort -u)
apt_closure "${required[@]}" apt ca-certificates git sudo procps >"$out/fresh"
# The set-up as it was before the first command was made lighter, when it installed every tool of the
# tests: the parent of the commit that took them out of its one list.
lighter=$(git log --format=%H -n1 -S'googletest wine wine64 fonts-wine' -- scripts/setup.sh)
p_before=$(first_command_packages "$(git show "$lighter^:scripts/setup.sh" 2>/dev/null)")
p_after=$(first_command_packages "$(cat scripts/setup.sh)")

size() { local copy; copy=$(mktemp); cp "$1" "$copy"; "$2" -s "$copy"; stat -c %s "$copy"; rm -f "$copy"; }
s_k32=$(size "$root/build/win32/KELMAR32.EXE" i686-w64-mingw32-strip)
s_k64=$(size "$kelmar64" x86_64-w64-mingw32-strip)
s_b32=$(size "$root/build/win32/bare.exe" i686-w64-mingw32-strip)
s_b64=$(size "$bare64" x86_64-w64-mingw32-strip)

csv=$("$out/catalogue_bench" --benchmark_repetitions=5 --benchmark_report_aggregates_only=true --benchmark_format=csv 2>/dev/null)
io() { echo "$csv" | awk -F, -v name="\"BM_$1_median\"" '$1 == name {print $3}'; }
load=$(io LoadCatalogue) read=$(io ReadSameBytes) save=$(io SaveCatalogue) write=$(io WriteSameBytes)

# Idle CPU and resident memory of a running Kelmar, and the bare program's memory beside it.
running() {  # TITLE EXE: starts it, prints its process id once its window is up
    local line
    line=$(cd "$out" && /usr/bin/python3 "$root/tests/bench/xmap_time.py" "$1" "$root/scripts/wine-run" "$2")
    sleep 2
    echo "${line#* }"
}
cpu_ticks() { awk '{print $14 + $15}' "/proc/$1/stat"; }
rss_kib() { awk '/^VmRSS/ {print $2}' "/proc/$1/status"; }
pid=$(running Kelmar "$kelmar64")
before=$(cpu_ticks "$pid")
sleep "$idle"
idle_cpu=$(awk -v t=$(( $(cpu_ticks "$pid") - before )) -v hz="$(getconf CLK_TCK)" 'BEGIN {printf "%.2f", t / hz}')
rss_kelmar=$(rss_kib "$pid")
kill -9 "$pid"
pid=$(running Bare "$bare64")
rss_bare=$(rss_kib "$pid")
kill -9 "$pid"

ratio() { awk -v a="$1" -v b="$2" 'BEGIN {if (b + 0 == 0) print "-"; else printf "%.2f", a / b}'; }
printf '\n%-44s %14s %14s %8s %s\n' "figure" "Kelmar" "baseline" "ratio" "goal"
printf '%-44s %13.3fs %13.3fs %8s %s\n' "start-up, default catalogue (median of $runs)" "$t_default" "$t_bare" "$(ratio "$t_default" "$t_bare")" "<= 1.10"
printf '%-44s %13.3fs %13.3fs %8s %s\n' "start-up, 65 menus of 100 apps" "$t_big" "$t_bare" "$(ratio "$t_big" "$t_bare")" "<= 1.5"
printf '%-44s %12sB %12sB %8s %s\n' "size, i686 EXE stripped" "$s_k32" "$s_b32" "$(ratio "$s_k32" "$s_b32")" "<= 98304 B"
printf '%-44s %12sB %12sB %8s %s\n' "size, x86_64 EXE stripped" "$s_k64" "$s_b64" "$(ratio "$s_k64" "$s_b64")" ""
printf '%-44s %12sus %12sus %8s %s\n' "load 6,500 apps (vs one fread)" "$load" "$read" "$(ratio "$load" "$read")" "<= 3"
printf '%-44s %12sus %12sus %8s %s\n' "save 6,500 apps (vs one fwrite)" "$save" "$write" "$(ratio "$save" "$write")" "<= 3"
printf '%-44s %13.3fs %13.3fs %8s %s\n' "start-up via kelmar (vs wine64 directly)" "$t_launcher" "$t_direct" "$(ratio "$t_launcher" "$t_direct")" "<= 1.10"
printf '%-44s %13.3fs %14s %8s %s\n' "kelmar-import, 13 desktop entries" "$t_import_small" "-" "-" ""
printf '%-44s %13.3fs %14s %8s %s\n' "kelmar-import, $n_real" "$t_import_real" "-" "-" ""
printf '%-44s %13.3fs %13.3fs %8s %s\n' "kelmar --import (vs start-up via kelmar)" "$t_import_whole" "$t_launcher" "$(ratio "$t_import_whole" "$t_launcher")" ""
printf '%-44s %14s %14s %8s %s\n' "packages, first README command, fresh Debian" "$p_after" "$p_before" "$(ratio "$p_after" "$p_before")" "fewer"
printf '%-44s %13ss %14s %8s %s\n' "CPU over ${idle}s idle" "$idle_cpu" "-" "-" "< 0.1 s"
printf '%-44s %11sKiB %11sKiB %8s %s\n' "resident memory" "$rss_kelmar" "$rss_bare" "$(ratio "$rss_kelmar" "$rss_bare")" "<= 1.1"
KELMAR_BENCH_RUNS=$runs bash tests/bench/setup_bench.sh --rows
