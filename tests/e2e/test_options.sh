#!/usr/bin/env bash
# Options and About in the running EXE: a chime with no sound file is refused, stay-on-top and the chime
# are changed with keys, the bar is made again and kelmar.ini holds the new settings while Kelmar runs,
# About closes only on OK, Cancel writes nothing, and Ctrl+X writes the settings once more.
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

new_settings() { [ "$(ini_value StayOnTop)" = 0 ] && [ "$(ini_value ChimeOnHour)" = 1 ] && [ "$(ini_value 'Chime WAV')" = chime.wav ]; }
wait_until 10 "the new settings in kelmar.ini" new_settings || fail "kelmar.ini after OK: $(cat "$WINDOWS_DIR/kelmar.ini")"
kill -0 "$KELMAR_PID" 2>/dev/null || fail "Kelmar ended"
pass "OK writes the new settings to kelmar.ini while Kelmar runs"

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

# Cancel: the file is changed by hand, the options changed in the dialog and cancelled. Options opening
# again shows that Kelmar has finished with the Cancel; the file must still be the hand-written one.
write_settings 1 0 hand.wav
cp "$WINDOWS_DIR/kelmar.ini" "$work/by-hand.ini"
press "$newbar" ctrl+o
options=$(wait_window "Kelmar Options" "$BOX_TEST" 10) || fail "Ctrl+O opened no Options dialog"
press "$options" Tab Tab space Tab space Escape
wait_gone "Kelmar Options" || fail "Escape did not close the dialog"
press "$newbar" ctrl+o
options=$(wait_window "Kelmar Options" "$BOX_TEST" 10) || fail "Ctrl+O opened no Options dialog again"
cmp -s "$WINDOWS_DIR/kelmar.ini" "$work/by-hand.ini" || fail "Cancel wrote kelmar.ini: $(cat "$WINDOWS_DIR/kelmar.ini")"
press "$options" Escape
wait_gone "Kelmar Options" || fail "Escape did not close the dialog"
pass "Cancel writes nothing"

press "$newbar" ctrl+x
wait_exit 20 || fail "Ctrl+X did not end Kelmar"
[ "$KELMAR_EXIT" = 0 ] || fail "exit code $KELMAR_EXIT"
new_settings || fail "kelmar.ini after the exit: $(cat "$WINDOWS_DIR/kelmar.ini")"
pass "the settings held reach kelmar.ini again at exit"
echo "7 passed, 0 failed"
