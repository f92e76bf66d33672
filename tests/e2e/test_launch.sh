#!/usr/bin/env bash
# Choosing applications from a popup with the keyboard, as a user would: the recorder helper is started
# with its parameters, in its folder, restored; each failing entry shows exactly one warning, read off
# the screen with the boxtext helper.
. "$(dirname "$0")/lib.sh"

TOOLS=$(dirname "$KELMAR_EXE")
[ -x "$TOOLS/recorder.exe" ] && [ -x "$TOOLS/boxtext.exe" ] || fail "recorder.exe and boxtext.exe not built beside $KELMAR_EXE"
make_work
mkdir "$work/run here"
cp "$TOOLS/recorder.exe" "$work/"
echo "nothing opens this type" > "$work/notes.kelmarnone"
write_settings 1 0 ""

# Z: is the root of the Linux file system.
dos() { echo "Z:${1//\//\\}"; }
WORK_DOS=$(dos "$work")
PARAMS='-x "two words" 3'
# One menu, "&Tools", of four apps: name, path, working folder, parameters.
/usr/bin/python3 - "$work/apps.dat" "$WORK_DOS" "$PARAMS" <<'PY' || fail "cannot write the catalogue (paths too long?)"
import struct, sys
out, work, params = sys.argv[1], sys.argv[2], sys.argv[3]
def field(text, size):
    data = text.encode('cp1252')
    assert len(data) < size, text
    return data.ljust(size, b'\0')
apps = [
    ('&Record', work + '\\recorder.exe', work + '\\run here', params),
    ('&Missing', work + '\\missing.exe', '', ''),
    ('&Unassociated', work + '\\notes.kelmarnone', '', ''),
    ('&Empty', '', '', ''),
]
image = field('&Tools', 32) + struct.pack('<iIII', len(apps), 0, 0, 0)
for name, path, folder, parameters in apps:
    image += field(path, 80) + field(folder, 80) + field(parameters, 30) + field(name, 30) + bytes(8)
open(out, 'wb').write(image)
PY

# The message boxes on the screen, one line each: title, tab, text.
boxes() { "$E2E_ROOT/scripts/wine-run" "$TOOLS/boxtext.exe" 2>/dev/null | tr -d '\r'; }
# Opens the popup with Alt and its mnemonic, then chooses the item by its own.
choose() { press "$bar" alt+t; sleep 0.5; xdotool key "$1"; }

launch_kelmar "$work"
bar=$(wait_window Kelmar "$BAR_TEST") || fail "no bar at the top of the screen"

press "$bar" alt+t
sleep 1
screenshot launch-popup
xdotool key r
for _ in $(seq 200); do [ -e "$work/recorder.txt" ] && break; sleep 0.1; done
[ -e "$work/recorder.txt" ] || fail "choosing &Record did not start the recorder"
mapfile -t record < <(tr -d '\r' < "$work/recorder.txt")
[ "${record[0]}" = "$PARAMS" ] || fail "parameters '${record[0]}', not '$PARAMS'"
[ "${record[1],,}" = "${WORK_DOS,,}\\run here" ] || fail "started in '${record[1]}', not in its working folder"
[ "${record[3]}" = 9 ] || fail "show command ${record[3]}, not SW_RESTORE (9)"
pass "choosing an app starts it with its parameters, in its folder, restored"
[ -z "$(boxes)" ] || fail "a box after a good launch: $(boxes)"

check_warning() {
    local key=$1 what=$2 expected=$3 box seen
    choose "$key"
    box=$(wait_window Kelmar "$BOX_TEST") || fail "no warning for $what"
    sleep 0.3
    seen=$(boxes)
    [ "$seen" = "$(printf 'Kelmar\t%s' "$expected")" ] || fail "for $what the screen shows: $seen"
    screenshot "launch-warning-$key"
    press "$box" Return
    for _ in $(seq 50); do [ -z "$(boxes)" ] && break; sleep 0.1; done
    [ -z "$(boxes)" ] || fail "more than one warning for $what: $(boxes)"
    pass "$what: one warning, \"$expected\""
}
check_warning m "a missing file" 'File/Executable not found.\r\nCheck application setup.'
check_warning u "a file with no association" 'ShellExec returned error code: 31'
check_warning e "an empty path" 'ShellExec returned error code: 11'

press "$bar" ctrl+x
wait_exit 20 || fail "Ctrl+X did not end Kelmar"
[ "$KELMAR_EXIT" = 0 ] || fail "exit code $KELMAR_EXIT"
# This prefix's processes only: another test run on the machine may have a recorder of its own.
[ -z "$(. "$E2E_ROOT/scripts/wine-env.sh"; kelmar_prefix_programs 'recorder\.exe')" ] || fail "a launched recorder is still running"
pass "Kelmar ends with exit code 0 and nothing it launched is left running"
echo "1 passed, 0 failed"
