#!/usr/bin/env bash
# Runs the end-to-end and package suites COUNT times in a row (default 10) on built presets, the second
# half beside a full CPU load (a busy loop per core), and says which round failed what: a check that
# flakes shows here. Build first (scripts/test.sh, or the win64 preset with its package target).
set -uo pipefail
cd "$(dirname "$0")/../.." || exit 1
count=${1:-10}
# shellcheck source=scripts/wine-env.sh
. scripts/wine-env.sh
debs=(build/win64/kelmar_*_amd64.deb)
[ -f "${debs[-1]}" ] || { echo "no package in build/win64: build the win64 preset's package target first" >&2; exit 1; }
load=()
end_all() {
    local busy
    for busy in "${load[@]}"; do kill "$busy" 2>/dev/null; done
    kelmar_wine_stop
}
trap end_all EXIT

failed_rounds=0
for round in $(seq "$count"); do
    if [ "$round" -gt $((count / 2)) ] && [ ${#load[@]} -eq 0 ]; then
        for _ in $(seq "$(nproc)"); do yes >/dev/null & load+=($!); done
    fi
    began=$SECONDS
    failures=()
    log=$(mktemp)
    if kelmar_wine_start virtual >"$log" 2>&1; then
        ctest --preset win64 -R '^e2e_' >"$log" 2>&1 || failures+=("$(grep -E '\(Failed\)' "$log" | sed -E 's/.* - (e2e_[a-z_]+).*/\1/' | paste -sd ' ')")
    else
        failures+=("no display or prefix")
    fi
    for test in test_deb test_launcher test_import; do
        bash "tests/package/$test.sh" "${debs[-1]}" >"$log" 2>&1 || failures+=("$test: $(grep -m1 FAIL "$log")")
    done
    kelmar_wine_stop
    rm -f "$log"
    state=idle
    [ ${#load[@]} -gt 0 ] && state="under full load"
    if [ ${#failures[@]} -eq 0 ]; then
        echo "round $round ($state, $((SECONDS - began)) s): all passed"
    else
        failed_rounds=$((failed_rounds + 1))
        echo "round $round ($state, $((SECONDS - began)) s): FAILED ${failures[*]}"
    fi
done
echo "$((count - failed_rounds)) passed, $failed_rounds failed"
[ "$failed_rounds" -eq 0 ]
