#!/usr/bin/env bash
# The catalogue editor in the real EXE: Ctrl+E opens User Menus, a menu and an application are added
# with the keyboard, OK rebuilds the bar, and Ctrl+X leaves them in apps.dat.
. "$(dirname "$0")/lib.sh"

make_work
write_settings 1 0 ""

launch_kelmar "$work"
bar=$(wait_window Kelmar "$BAR_TEST") || fail "no bar"
press "$bar" ctrl+e
editor=$(wait_window "User Menus" "$BOX_TEST") || fail "Ctrl+E did not open User Menus"
pass "Ctrl+E opens User Menus"
sleep 0.3
screenshot editor-user-menus

press "$editor" Escape
sleep 0.5
find_window "User Menus" "$BOX_TEST" 1 >/dev/null || fail "Escape closed User Menus"
pass "Escape leaves User Menus open"

press "$editor" alt+m
setup=$(wait_window "Menu Setup" "$BOX_TEST") || fail "New Menu did not open Menu Setup"
sleep 0.3
screenshot editor-menu-setup
xdotool type --delay 20 Tools
press "$setup" Return
wait_gone "Menu Setup" || fail "Enter did not close Menu Setup"

# Back from Menu Setup the focus is on New Menu; two steps back in the tab order lie the Menus list
# and its first entry, then New App.
press "$editor" shift+Tab
xdotool key shift+Tab Down
sleep 0.3
press "$editor" alt+a
setup=$(wait_window "Application Setup" "$BOX_TEST") || fail "New App did not open Application Setup"
xdotool type --delay 20 Editor
xdotool key Tab
xdotool type --delay 20 notepad.exe
sleep 0.3
screenshot editor-app-setup
press "$setup" Return
wait_gone "Application Setup" || fail "Enter did not close Application Setup"
screenshot editor-after-edits
pass "Menu Setup and Application Setup open from the New buttons"

press "$editor" Return
wait_gone "User Menus" || fail "Enter did not close User Menus"
# &Apps with three apps (48 + 3 x 228), &Games with two (48 + 2 x 228), then Tools without apps.
wait_until 20 "apps.dat saved with the new menu and app" has_size "$work/apps.dat" 1284 || fail "OK did not save apps.dat"
bar=$(wait_window Kelmar "$BAR_TEST") || fail "no bar after OK"
pass "OK closes User Menus, rebuilds the bar and saves apps.dat"
screenshot editor-bar-after-ok

press "$bar" ctrl+x
wait_exit 20 || fail "Ctrl+X did not end Kelmar"
[ "$KELMAR_EXIT" = 0 ] || fail "exit code $KELMAR_EXIT"

size=$(stat -c %s "$work/apps.dat")
[ "$size" = 1284 ] || fail "apps.dat has $size bytes, not 1284"
[ "$(tail -c +505 "$work/apps.dat" | head -c 11)" = notepad.exe ] || fail "the new app's path is not in &Apps"
[ "$(tail -c +695 "$work/apps.dat" | head -c 6)" = Editor ] || fail "the new app's name is not in &Apps"
[ "$(tail -c +1237 "$work/apps.dat" | head -c 5)" = Tools ] || fail "the new menu is not last"
pass "apps.dat holds the new menu and the new app"
echo "1 passed, 0 failed"
