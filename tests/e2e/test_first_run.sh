#!/usr/bin/env bash
# A new user's first run: the thanks box, the bar across the top, Ctrl+X, and the files written.
. "$(dirname "$0")/lib.sh"

make_work
rm -f "$WINDOWS_DIR/kelmar.ini"

launch_kelmar "$work"
box=$(wait_window Kelmar "$BOX_TEST") || fail "no thanks box on the first run"
[ ! -e "$WINDOWS_DIR/kelmar.ini" ] || fail "settings written before the thanks box was answered"
pass "first run shows the thanks box"
screenshot first-run-box
press "$box" Return

bar=$(wait_window Kelmar "$BAR_TEST") || fail "no bar at the top of the screen"
pass "the bar lies across the top of the screen"
[ "$(ini_value StayOnTop)" = 1 ] && [ "$(ini_value ChimeOnHour)" = 0 ] && grep -q '^Chime WAV=' "$WINDOWS_DIR/kelmar.ini" \
    || fail "first-run settings: $(cat "$WINDOWS_DIR/kelmar.ini")"
pass "kelmar.ini holds the defaults"
[ ! -e "$work/apps.dat" ] || fail "apps.dat written before any save"
sleep 0.5
screenshot bar

press "$bar" ctrl+x
wait_exit 20 || fail "Ctrl+X did not end Kelmar"
[ "$KELMAR_EXIT" = 0 ] || fail "exit code $KELMAR_EXIT"
pass "Ctrl+X ends Kelmar with exit code 0"

size=$(stat -c %s "$work/apps.dat" 2>/dev/null)
[ "$size" = 1008 ] || fail "apps.dat has $size bytes, not two menus of two apps (1008)"
[ "$(head -c 5 "$work/apps.dat")" = "&Apps" ] || fail "first menu is not &Apps"
[ "$(tail -c +505 "$work/apps.dat" | head -c 6)" = "&Games" ] || fail "second menu is not &Games"
[ "$(ls -A "$work")" = apps.dat ] || fail "files left in the working folder: $(ls -A "$work")"
pass "apps.dat holds the default catalogue, and nothing else was left"

# The second run finds its settings: no thanks box, straight to the bar.
launch_kelmar "$work"
bar=$(wait_window Kelmar "$BAR_TEST") || fail "no bar on the second run"
find_window Kelmar "$BOX_TEST" 1 >/dev/null && fail "thanks box shown again"
press "$bar" ctrl+x
wait_exit 20 || fail "second run did not end"
[ "$KELMAR_EXIT" = 0 ] || fail "second run exit code $KELMAR_EXIT"
pass "the second run goes straight to the bar"
echo "1 passed, 0 failed"
