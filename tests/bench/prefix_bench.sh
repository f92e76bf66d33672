#!/usr/bin/env bash
# Kelmar's Wine prefix, each figure beside its baseline in one run (medians of KELMAR_BENCH_RUNS, default
# 5): the first start of a user who never started Kelmar, to its first window, beside a bare
# `wineboot -i` of a new prefix; later starts (Wine's server ended before each) beside KELMAR32.EXE started
# by wine64 directly in the same prefix; the start after a Wine upgrade (the prefix's time stamp made old)
# beside the same start of a prefix Wine made; and the data folder's size after the first start and after
# that upgrade beside the size of the prefix Wine made. With --installed it measures the package as apt
# installed it (its maintainer scripts run) for a user of its own, kelmar-bench, which it makes; else
# the built package unpacked, its shared prefix made as its postinst makes it, for the user nobody (or
# the user running it). Run as root for --installed. Needs a display or starts a virtual one.
# Usage: [KELMAR_BENCH_DIR=FOLDER] tests/bench/prefix_bench.sh [--installed]
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
runs=${KELMAR_BENCH_RUNS:-5}
# The homes and prefixes it makes in KELMAR_BENCH_DIR (the sizes are the file system's: ext4 in the
# figures the README gives), else in the temporary folder.
work=$(mktemp -d "${KELMAR_BENCH_DIR:-${TMPDIR:-/tmp}}/kelmar-bench.XXXXXX")
chmod 755 "$work"
. "$root/scripts/wine-env.sh"
export WINEPREFIX=$work/unused  # a display only: each figure makes its own prefixes
kelmar_wine_start virtual >/dev/null
cleanup() { set +e; rm -rf "$work"; kelmar_wine_stop; }
trap cleanup EXIT

if [ "${1:-}" = --installed ]; then
    kelmar=/usr/bin/kelmar
    [ -x "$kelmar" ] && [ -d /var/cache/kelmar/wineprefix ] || { echo "the package is not installed with its shared prefix" >&2; exit 1; }
    id kelmar-bench >/dev/null 2>&1 || useradd --create-home kelmar-bench
    user=kelmar-bench
else
    cmake --preset win64 >/dev/null
    cmake --build --preset win64 --target package >/dev/null
    debs=("$root"/build/win64/kelmar_*_amd64.deb)
    dpkg-deb -x "${debs[-1]}" "$work/pkg"
    "$work/pkg/usr/lib/kelmar/kelmar-prefix" >/dev/null
    kelmar=$work/pkg/usr/bin/kelmar
    if [ "$(id -u)" = 0 ]; then user=nobody; else user=$(id -un); fi
fi
if [ "$(id -un)" = "$user" ]; then as_user() { "$@"; }; else as_user() { setpriv --reuid="$user" --regid="$(id -g "$user")" --clear-groups "$@"; }; fi
group=$(id -g "$user")

median() { sort -n | awk '{v[NR] = $1} END {print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2}'; }
seconds() { local began; began=$(date +%s.%N); "$@" >/dev/null 2>&1 || true; awk -v a="$began" -v b="$(date +%s.%N)" 'BEGIN {printf "%.3f\n", b - a}'; }
bytes() { du -s --block-size=1 "$1" | cut -f1; }
# A home folder of the user's own, new.
new_home() { local home; home=$(mktemp -d "$work/home.XXXXXX"); chown "$user:$group" "$home"; echo "$home"; }
in_session() {  # HOME COMMAND...
    local home=$1
    shift
    as_user env -u WINEPREFIX -u XDG_DATA_HOME -u XDG_RUNTIME_DIR -u XDG_CONFIG_HOME HOME="$home" USER="$user" LOGNAME="$user" \
        XDG_DATA_DIRS="$work/none" "$@"
}
# Seconds from the start of COMMAND to its window TITLE mapped; then it is ended as the session ends it,
# and the prefix's Wine server is waited for.
to_window() {  # HOME PREFIX TITLE COMMAND...
    local home=$1 prefix=$2 title=$3 line pid
    shift 3
    line=$(cd "$home" && KELMAR_XMAP_TIMEOUT=900 in_session "$home" /usr/bin/python3 "$root/tests/bench/xmap_time.py" "$title" "$@")
    pid=${line#* }
    kill -TERM "$pid" 2>/dev/null || true
    for _ in $(seq 300); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
    in_session "$home" env WINEPREFIX="$prefix" timeout 60 "$WINESERVER" -w || true
    echo "${line% *}"
}

: >"$work/bare" && : >"$work/first" && : >"$work/later" && : >"$work/direct" && : >"$work/update" && : >"$work/plain-update"
for _ in $(seq "$runs"); do
    # A bare `wineboot -i` of a new prefix, as Wine makes one for a user; and its server's end.
    home=$(new_home)
    plain=$home/plain
    seconds in_session "$home" env WINEPREFIX="$plain" "$WINELOADER" wineboot -i >>"$work/bare"
    in_session "$home" env WINEPREFIX="$plain" "$WINESERVER" -w
    plain_bytes=$(bytes "$plain")
    # Kelmar's first start for a user who never started it: to its first window (the thanks box).
    home=$(new_home)
    data=$home/.local/share/kelmar
    to_window "$home" "$data/wineprefix" Kelmar "$kelmar" >>"$work/first"
    first_bytes=$(bytes "$data")
    # A later start, and Kelmar started by wine64 directly in the same prefix.
    to_window "$home" "$data/wineprefix" Kelmar "$kelmar" >>"$work/later"
    (cd "$data" && to_window "$home" "$data/wineprefix" Kelmar env WINEPREFIX="$data/wineprefix" "$WINELOADER" \
        "$(dirname "$kelmar")/../lib/kelmar/KELMAR32.EXE") >>"$work/direct"
    # Wine upgraded: the start that updates the prefix, and the same start of the prefix Wine made.
    echo 1500000000 | in_session "$home" tee "$data/wineprefix/.update-timestamp" >/dev/null
    to_window "$home" "$data/wineprefix" Kelmar "$kelmar" >>"$work/update"
    update_bytes=$(bytes "$data")
    cp -a "$data/apps.dat" "$plain/../apps.dat" 2>/dev/null || true
    echo 1500000000 | in_session "$home" tee "$plain/.update-timestamp" >/dev/null
    (cd "$home" && to_window "$home" "$plain" Kelmar env WINEPREFIX="$plain" "$WINELOADER" \
        "$(dirname "$kelmar")/../lib/kelmar/KELMAR32.EXE") >>"$work/plain-update"
    rm -rf "$work"/home.*
done

t_bare=$(median <"$work/bare") t_first=$(median <"$work/first") t_later=$(median <"$work/later")
t_direct=$(median <"$work/direct") t_update=$(median <"$work/update") t_plain_update=$(median <"$work/plain-update")
ratio() { awk -v a="$1" -v b="$2" 'BEGIN {if (b + 0 == 0) print "-"; else printf "%.2f", a / b}'; }
wine32=no
dpkg-query -W -f='${Status}' wine32:i386 2>/dev/null | grep -q "install ok installed" && wine32=yes
echo
echo "$("$WINELOADER" --version), $(. /etc/os-release && echo "$PRETTY_NAME"), 32-bit Wine installed: $wine32, $(nproc) cores, load $(cut -d' ' -f1-3 /proc/loadavg)"
echo "Kelmar: ${1:---unpacked}, user $user; medians of $runs"
printf '%-50s %12s %14s %8s %s\n' "figure" "Kelmar" "baseline" "ratio" "goal"
printf '%-50s %11.2fs %13.2fs %8s %s\n' "first start, to the first window (vs wineboot -i)" "$t_first" "$t_bare" "$(ratio "$t_first" "$t_bare")" "<= 0.33"
printf '%-50s %11.2fs %13.2fs %8s %s\n' "later start, cold Wine server (vs wine64 directly)" "$t_later" "$t_direct" "$(ratio "$t_later" "$t_direct")" ""
printf '%-50s %11.2fs %13.2fs %8s %s\n' "start after a Wine upgrade (vs a prefix Wine made)" "$t_update" "$t_plain_update" "$(ratio "$t_update" "$t_plain_update")" ""
printf '%-50s %10.1fMB %12.1fMB %8s %s\n' "data folder after the first start (vs Wine's prefix)" "$(awk -v b="$first_bytes" 'BEGIN {print b / 1e6}')" \
    "$(awk -v b="$plain_bytes" 'BEGIN {print b / 1e6}')" "$(ratio "$first_bytes" "$plain_bytes")" "<= 10 MB"
printf '%-50s %10.1fMB %14s %8s %s\n' "data folder after the upgrade" "$(awk -v b="$update_bytes" 'BEGIN {print b / 1e6}')" "-" "-" "<= 10 MB"
