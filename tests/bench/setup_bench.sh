#!/usr/bin/env bash
# The Windows setup's figures beside the ZIP's: the size of the shipped setup against the ZIP, and the
# time of a silent install and a silent uninstall under 64-bit Wine (the x86_64 build of the same
# script, in a warm prefix; median of KELMAR_BENCH_RUNS, default 10). scripts/bench.sh runs it with
# --rows inside its own prefix, for rows of its table; run alone it brings a display and a prefix.
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
cd "$root"
runs=${KELMAR_BENCH_RUNS:-10}
for preset in win64 win32; do
    cmake --preset "$preset" >/dev/null
    cmake --build --preset "$preset" --target setup >/dev/null
done
cmake --build --preset win32 --target package >/dev/null
setups=(build/win32/Kelmar-*-setup.exe)
zips=(build/win32/Kelmar-*-win32.zip)
tests=(build/win64/Kelmar-*-setup-amd64-test.exe)
if [ "${1:-}" != --rows ]; then
    . scripts/wine-env.sh
    kelmar_wine_start virtual >/dev/null
    trap kelmar_wine_stop EXIT
fi
wine=$root/scripts/wine-run
median() { sort -n | awk '{v[NR] = $1} END {print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2}'; }
seconds() { local began; began=$(date +%s.%N); "$@" >/dev/null 2>&1; awk -v a="$began" -v b="$(date +%s.%N)" 'BEGIN {printf "%.3f\n", b - a}'; }

# Each round installs afresh and uninstalls in place (_?= keeps the uninstaller where it is and makes
# the command wait for it), then clears what an in-place uninstaller cannot remove: itself.
folder=
: >"$root/build/install.times"
: >"$root/build/uninstall.times"
"$wine" "${tests[-1]}" /S  # warms the prefix and the file cache once
for _ in $(seq "$runs"); do
    where=$("$wine" reg query 'HKCU\Software\Microsoft\Windows\CurrentVersion\Uninstall\Kelmar' /v InstallLocation \
            2>/dev/null | tr -d '\r' | sed -n 's/^ *InstallLocation *REG_SZ *//p')
    folder=$("$wine" winepath -u "$where" 2>/dev/null | tr -d '\r')
    seconds "$wine" "$folder/Uninstall.exe" /S "_?=$where" >>"$root/build/uninstall.times"
    rm -rf "$folder"
    seconds "$wine" "${tests[-1]}" /S >>"$root/build/install.times"
done
"$wine" "$folder/Uninstall.exe" /S "_?=$where" >/dev/null 2>&1
rm -rf "$folder"
install=$(median <"$root/build/install.times")
uninstall=$(median <"$root/build/uninstall.times")
rm -f "$root/build/install.times" "$root/build/uninstall.times"

size=$(stat -c %s "${setups[-1]}")
zip=$(stat -c %s "${zips[-1]}")
[ "${1:-}" = --rows ] || printf '\n%-44s %14s %14s %8s %s\n' "figure" "Kelmar" "baseline" "ratio" "goal"
printf '%-44s %12sB %12sB %8s %s\n' "setup size, i686, LZMA (vs the ZIP)" "$size" "$zip" \
    "$(awk -v a="$size" -v b="$zip" 'BEGIN {printf "%.2f", a / b}')" "<= 131072 B"
printf '%-44s %13.3fs %14s %8s %s\n' "silent install under Wine (median of $runs)" "$install" "-" "-" ""
printf '%-44s %13.3fs %14s %8s %s\n' "silent uninstall under Wine (median of $runs)" "$uninstall" "-" "-" ""
