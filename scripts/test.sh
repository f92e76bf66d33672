#!/usr/bin/env bash
# Builds every flavour and runs every test: the portable parts natively (with sanitizers), the Win32
# tests and the end-to-end tests under 64-bit Wine on a private virtual display, and the static checks
# of both EXEs; then the release ZIP, the Windows setup, the Debian package and its launcher, and last
# the slow smoke test of the shipped i686 EXE and setup under 32-bit Wine (KELMAR_SKIP_SMOKE=1 skips
# it). Ends with one line of totals.
set -uo pipefail
cd "$(dirname "$0")/.." || exit 1
scripts/setup.sh --tests || exit 1

for preset in native win64 win32; do
    cmake --preset "$preset" >/dev/null || exit 1
    cmake --build --preset "$preset" || exit 1
done
cmake --build --preset win32 --target package || exit 1
cmake --build --preset win64 --target package || exit 1

. scripts/wine-env.sh
trap kelmar_wine_stop EXIT

passed=0 failed=0 status=0
for preset in native win64 win32; do
    # A machine just handed over may still be settling: one more try after a pause.
    if [ "$preset" = win64 ] && ! kelmar_wine_start virtual \
        && ! { echo "Trying the display and Wine once more in 20 s"; sleep 20; kelmar_wine_start virtual; }; then
        echo "FAIL: without a virtual display and a Wine prefix the Win32 and end-to-end tests cannot run"
        failed=$((failed + 1)) status=1
        break
    fi
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

skipped=0
run_script() {  # NAME COMMAND...: one test, passed on exit 0, skipped when it says "skipped:"
    local log name=$1 began=$SECONDS code
    log=$(mktemp)
    echo "--- $name"
    shift
    "$@" 2>&1 | tee "$log"
    code=${PIPESTATUS[0]}
    echo "--- $name took $((SECONDS - began)) s"
    if [ "$code" -ne 0 ]; then
        failed=$((failed + 1)) status=1
    elif grep -q '^skipped:' "$log"; then
        skipped=$((skipped + 1))
    else
        passed=$((passed + 1))
    fi
    rm -f "$log"
}
zips=(build/win32/Kelmar-*-win32.zip)
run_script "release ZIP" bash tests/release/test_zip.sh "${zips[-1]}" build/win64/KELMAR32.EXE
setups=(build/win32/Kelmar-*-setup.exe)
tests=(build/win64/Kelmar-*-setup-amd64-test.exe)
run_script "Windows setup" bash tests/release/test_setup.sh "${tests[-1]}" "${setups[-1]}"
run_script "menus from the Start menu" bash tests/release/test_start_menu.sh "${tests[-1]}"
debs=(build/win64/kelmar_*_amd64.deb)
run_script "Debian package" bash tests/package/test_deb.sh "${debs[-1]}"
run_script "kelmar launcher" bash tests/package/test_launcher.sh "${debs[-1]}"
run_script "Kelmar's Wine prefix" bash tests/package/test_prefix.sh "${debs[-1]}"
run_script "menus from the desktop" bash tests/package/test_import.sh "${debs[-1]}"
kelmar_wine_stop  # the smoke test brings a display and a prefix of its own
run_script "i686 smoke test" bash tests/smoke/i686_smoke.sh build/win32/KELMAR32.EXE "${setups[-1]}"

echo
echo "The whole run took $SECONDS s."
if [ "$skipped" -gt 0 ]; then
    echo "Total: $passed passed, $failed failed, $skipped skipped"
else
    echo "Total: $passed passed, $failed failed"
fi
exit $status
