#!/usr/bin/env bash
# How often Wine fails to start a process: COUNT starts (default 3000) of a small Win32 program (Wine's
# own hostname.exe) under 64-bit Wine, without and with Wine's preloader, idle and beside a full CPU load,
# side by side in one run. Only Wine's err+virtual channel is on, so a start that Wine could not map its
# shared user data for names itself (c0000018). Without the preloader means: in a mount namespace of the
# run's own, where /usr/lib/wine is a copy that lacks it; the system is not changed.
# Usage: tests/bench/wine_starts.sh [COUNT]   (needs root, or user namespaces, for the namespace)
set -euo pipefail
count=${1:-3000}
export WINELOADER=/usr/lib/wine/wine64 WINESERVER=/usr/lib/wine/wineserver64
export WINEDEBUG=-all,err+virtual WINEDLLOVERRIDES="mscoree,mshtml,winemenubuilder.exe="
program='C:\windows\system32\hostname.exe'

# One series in a fresh prefix with a warm wineserver: prints "starts failed c0000018 milliseconds".
series() {
    local prefix log failed=0 began
    prefix=$(mktemp -d "${TMPDIR:-/tmp}/kelmar-starts.XXXXXX")
    log=$prefix.log
    export WINEPREFIX=$prefix
    "$WINESERVER" -p
    "$WINELOADER" wineboot -i >/dev/null 2>&1
    began=$(date +%s%N)
    for _ in $(seq "$count"); do
        "$WINELOADER" "$program" >/dev/null 2>>"$log" || failed=$((failed + 1))
    done
    echo "$count $failed $(grep -c 'c0000018' "$log" || true) $((($(date +%s%N) - began) / 1000000))"
    "$WINESERVER" -k 2>/dev/null || true
    rm -rf "$prefix" "$log"
}

if [ "${1:-}" = --series-without-preloader ]; then
    # Inside the private namespace: Wine's folder without the preloader, for this run alone.
    count=$2
    mount --bind "$3" /usr/lib/wine
    series
    exit 0
fi

[ -x /usr/lib/wine/wine64-preloader ] || { echo "wine64-preloader is not installed: scripts/setup.sh installs it" >&2; exit 1; }
copy=$(mktemp -d "${TMPDIR:-/tmp}/kelmar-wine-bin.XXXXXX")
busy=()
cleanup() {
    [ ${#busy[@]} -gt 0 ] && kill "${busy[@]}" 2>/dev/null
    rm -rf "$copy"
}
trap cleanup EXIT
cp -a /usr/lib/wine/. "$copy"
rm -f "$copy"/wine64-preloader*
if [ "$(id -u)" -eq 0 ]; then namespace=(unshare --mount); else namespace=(unshare --user --map-root-user --mount); fi

without() { "${namespace[@]}" bash "$0" --series-without-preloader "$count" "$copy"; }
with() { series; }
load_on() { for _ in $(seq "$(nproc)"); do (while :; do :; done) & busy+=($!); done; }
load_off() { kill "${busy[@]}" 2>/dev/null; wait "${busy[@]}" 2>/dev/null || true; busy=(); }

echo "Each series: $count starts of $program under $("$WINELOADER" --version), $(nproc) cores; a few minutes each."
printf '%-34s %8s %8s %10s %14s %10s\n' "series" "starts" "failed" "c0000018" "failure rate" "s/start"
report() {
    local label=$1 starts failed mapped ms
    read -r starts failed mapped ms
    printf '%-34s %8s %8s %10s %14s %10.3f\n' "$label" "$starts" "$failed" "$mapped" \
        "$([ "$failed" -eq 0 ] && echo 0 || echo "1 in $((starts / failed))")" "$(awk -v ms="$ms" -v n="$starts" 'BEGIN {print ms / n / 1000}')"
}
without | report "without preloader, idle"
with | report "with preloader, idle"
load_on
without | report "without preloader, full CPU load"
with | report "with preloader, full CPU load"
load_off
