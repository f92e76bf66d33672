#!/usr/bin/env bash
# A damaged apps.dat: the fatal box, exit code 1, the file left for the user, the settings still written.
. "$(dirname "$0")/lib.sh"

make_work
write_settings 0 1 x.wav
# One menu that promises two apps, followed by one app and a half.
/usr/bin/python3 - "$work/apps.dat" <<'PY'
import struct, sys
menu = b'Broken'.ljust(32, b'\0') + struct.pack('<iIII', 2, 0, 0, 0)
app = b'a.exe'.ljust(190, b'\0') + b'A'.ljust(30, b'\0') + bytes(8)
open(sys.argv[1], 'wb').write(menu + app + app[:100])
PY
before=$(sha256sum < "$work/apps.dat")

launch_kelmar "$work"
box=$(wait_window "Fatal Kelmar Error" "1") || fail "no fatal box for a damaged apps.dat"
pass "a damaged apps.dat shows the fatal box"
screenshot fatal-box
press "$box" Return
wait_exit 20 || fail "Kelmar did not end after the fatal box"
[ "$KELMAR_EXIT" = 1 ] || fail "exit code $KELMAR_EXIT after a fatal error, not 1"
pass "the run ends with exit code 1"
[ "$(sha256sum < "$work/apps.dat")" = "$before" ] || fail "the damaged apps.dat was changed"
[ "$(ls -A "$work")" = apps.dat ] || fail "files left in the working folder: $(ls -A "$work")"
pass "the damaged file is left as it was"
[ "$(ini_value StayOnTop)" = 0 ] && [ "$(ini_value ChimeOnHour)" = 1 ] && [ "$(ini_value 'Chime WAV')" = x.wav ] \
    || fail "settings not written back: $(cat "$WINDOWS_DIR/kelmar.ini")"
pass "the settings are still written"
echo "1 passed, 0 failed"
