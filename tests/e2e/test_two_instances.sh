#!/usr/bin/env bash
# Two copies of Kelmar editing one apps.dat: each OK and each exit replaces the file whole with that
# copy's catalogue, so the file is always one copy's catalogue and never a mix of the two.
. "$(dirname "$0")/lib.sh"

work=$(mktemp -d)
PIDS=()
trap 'rm -rf "$work"; for p in "${PIDS[@]}"; do kill "$p" 2>/dev/null; done' EXIT
write_settings 1 0 ""

DRIVE=${KELMAR_BUILD:-$E2E_ROOT/build/win64}/drive.exe
# Works copy $1 (in start order) from outside: drive.exe add-menu or exit.
drive() { "$E2E_ROOT/scripts/wine-run" "$DRIVE" "$@" || fail "drive.exe $*"; }

# The menu names in apps.dat, in order, from the file's own structure (a damaged file fails here).
menus() {
    /usr/bin/python3 - "$work/apps.dat" <<'PY'
import struct, sys
data = open(sys.argv[1], 'rb').read()
names, at = [], 0
while at + 48 <= len(data):
    name, count = data[at:at + 32].split(b'\0')[0].decode(), struct.unpack_from('<i', data, at + 32)[0]
    names.append(name)
    at += 48 + 228 * max(count, 0)
if at != len(data):
    sys.exit('apps.dat is not whole: %d of %d bytes make groups' % (at, len(data)))
print(' '.join(names))
PY
}

launch_kelmar "$work"
PIDS+=("$KELMAR_PID"); first_pid=$KELMAR_PID
wait_window Kelmar "$BAR_TEST" >/dev/null || fail "no bar for the first copy"
launch_kelmar "$work"
PIDS+=("$KELMAR_PID"); second_pid=$KELMAR_PID
for _ in $(seq 100); do [ "$(xdotool search --onlyvisible --name '^Kelmar$' | wc -l)" -ge 2 ] && break; sleep 0.1; done
[ "$(xdotool search --onlyvisible --name '^Kelmar$' | wc -l)" -ge 2 ] || fail "no bar for the second copy"
pass "two copies run side by side on one apps.dat"

menus_are() { [ "$(menus)" = "$1" ]; }
drive add-menu 1 Alpha
wait_until 20 "the first copy's save" menus_are "&Apps &Games Alpha" || fail "after the first copy's OK: $(menus)"
drive add-menu 2 Beta
wait_until 20 "the second copy's save" menus_are "&Apps &Games Beta" || fail "after the second copy's OK: $(menus)"
pass "each OK replaced the file whole with that copy's catalogue"

drive exit 1
KELMAR_PID=$first_pid; wait_exit 20 || fail "the first copy did not end"
[ "$(menus)" = "&Apps &Games Alpha" ] || fail "after the first copy's exit: $(menus)"
drive exit 1  # the second copy is now the only one
KELMAR_PID=$second_pid; wait_exit 20 || fail "the second copy did not end"
[ "$(menus)" = "&Apps &Games Beta" ] || fail "after the second copy's exit: $(menus)"
ls "$work" | grep -qi '\.tmp$' && fail "temporary files left: $(ls "$work")"
pass "each exit saved that copy's catalogue whole, and nothing was left behind"
echo "1 passed, 0 failed"
