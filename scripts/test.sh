#!/usr/bin/env bash
# Builds every flavour and runs every test: the portable parts natively (with sanitizers), the Win32
# tests and the end-to-end tests under 64-bit Wine on a private virtual display, and the static checks
# of both EXEs. Ends with one line of totals.
set -uo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh || exit 1

for preset in native win64 win32; do
    cmake --preset "$preset" >/dev/null || exit 1
    cmake --build --preset "$preset" || exit 1
done

. scripts/wine-env.sh
kelmar_wine_start virtual || exit 1
trap kelmar_wine_stop EXIT

passed=0 failed=0 status=0
for preset in native win64 win32; do
    log=$(mktemp)
    ctest --preset "$preset" 2>&1 | tee "$log"
    [ "${PIPESTATUS[0]}" -eq 0 ] || status=1
    summary=$(grep -E 'tests passed, [0-9]+ tests? failed out of [0-9]+' "$log" | tail -n1)
    total=$(echo "$summary" | sed -E 's/.* out of ([0-9]+).*/\1/')
    bad=$(echo "$summary" | sed -E 's/.*passed, ([0-9]+) tests? failed.*/\1/')
    passed=$((passed + ${total:-0} - ${bad:-0}))
    failed=$((failed + ${bad:-0}))
    [ -n "$summary" ] || status=1
    rm -f "$log"
done
echo
echo "Total: $passed passed, $failed failed"
exit $status
