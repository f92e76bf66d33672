#!/usr/bin/env bash
# Options and About in the running EXE: a chime with no sound file is refused, stay-on-top and the chime
# are changed with keys, the bar is made again, About closes only on OK, and kelmar.ini holds the
# new settings after Ctrl+X.
. "$(dirname "$0")/lib.sh"

make_work
write_settings 1 0 ""

launch_kelmar "$work"
bar=$(wait_window Kelmar "$BAR_TEST") || fail "no bar"

press "$bar" ctrl+o
options=$(wait_window "Kelmar Options" "$BOX_TEST" 10) || fail "Ctrl+O opened no Options dialog"
pass "Ctrl+O opens Kelmar Options"
screenshot options-dialog

# The focus starts on OK; the tab stops follow: Cancel, Stay on top?, Chime hourly?, the file name.
press "$options" Tab Tab space Tab space Return
warning=$(wait_window Kelmar "$BOX_TEST" 10) || fail "no warning for a chime with no sound file"
screenshot options-no-wav
press "$warning" Return
sleep 0.5
xdotool search --onlyvisible --name '^Kelmar Options$' >/dev/null || fail "the refused OK closed the dialog"
pass "a chime with no sound file is refused and the dialog stays"

# The user clicks into the name field, types the name and presses Return for OK. The field lies a fixed
# distance above the dialog's bottom edge; its distance from the top grows with the caption's height,
# which differs between Wine versions.
height=$(xdotool getwindowgeometry --shell "$options" | sed -n 's/^HEIGHT=//p')
xdotool mousemove --window "$options" 100 $((height - 45)) click 1
sleep 0.3
xdotool type --delay 50 "chime.wav"
screenshot options-typed
press "$options" Return
wait_gone "Kelmar Options" || fail "OK did not close the dialog"
newbar=$(wait_window Kelmar "$BAR_TEST" 10) || fail "no bar after the stay-on-top change"
[ "$newbar" != "$bar" ] || fail "the bar was not made again after the stay-on-top change"
kill -0 "$KELMAR_PID" 2>/dev/null || fail "Kelmar ended with the rebuild"
pass "turning stay-on-top off makes the bar again and Kelmar runs on"

# About through the bar's menu: F10, open the first popup, its mnemonic A.
press "$newbar" F10 Down a
about=$(wait_window "About Kelmar" "$BOX_TEST" 10) || fail "the About item opened no About box"
sleep 0.5
screenshot about-box
press "$about" Escape
sleep 0.5
xdotool search --onlyvisible --name '^About Kelmar$' >/dev/null || fail "Escape closed the About box"
press "$about" Return
wait_gone "About Kelmar" || fail "OK did not close the About box"
pass "About Kelmar closes on OK and not on Escape"

[ "$(ini_value StayOnTop)" = 1 ] && [ "$(ini_value ChimeOnHour)" = 0 ] || fail "settings written before the exit"
press "$newbar" ctrl+x
wait_exit 20 || fail "Ctrl+X did not end Kelmar"
[ "$KELMAR_EXIT" = 0 ] || fail "exit code $KELMAR_EXIT"
[ "$(ini_value StayOnTop)" = 0 ] && [ "$(ini_value ChimeOnHour)" = 1 ] && [ "$(ini_value 'Chime WAV')" = chime.wav ] \
    || fail "kelmar.ini after the exit: $(cat "$WINDOWS_DIR/kelmar.ini")"
pass "the new settings reach kelmar.ini at exit"
echo "5 passed, 0 failed"
