#!/usr/bin/env bash
# A full disk and a read-only working folder: the save warns, the old apps.dat stays whole, no temporary
# file is left, and Kelmar still ends normally. Needs root and the right to mount (skipped otherwise).
. "$(dirname "$0")/lib.sh"

mnt=$(mktemp -d)
work=$(mktemp -d)
cleanup() {
    [ -n "$KELMAR_PID" ] && kill -9 "$KELMAR_PID" 2>/dev/null
    mountpoint -q "$mnt" && umount "$mnt"
    rm -rf "$work"; rmdir "$mnt"
}
trap cleanup EXIT
if [ "$(id -u)" -ne 0 ] || ! mount -t tmpfs -o size=64k tmpfs "$mnt" 2>/dev/null; then
    echo "SKIP: mounting a small file system needs root and mount rights"
    exit 77
fi
write_settings 1 0 ""
# The old file carries junk after its texts, which a save would replace by zeros: a save that went
# through would show.
/usr/bin/python3 - "$work/old.dat" <<'PY'
import struct, sys
menu = b'Kept\0'.ljust(32, b'\x55') + struct.pack('<iIII', 1, 7, 7, 7)
app = b'kept.exe\0'.ljust(80, b'\x55') + bytes(80) + bytes(30) + b'Kept\0'.ljust(30, b'\x55') + bytes(8)
open(sys.argv[1], 'wb').write((menu + app) * 3)
PY
old_sum=$(sha256sum < "$work/old.dat")

# Runs Kelmar in the mounted folder, presses Ctrl+X, answers the warning, and checks what is left.
expect_refused_save() {
    local what=$1 bar box
    launch_kelmar "$mnt"
    bar=$(wait_window Kelmar "$BAR_TEST" 60) || fail "$what: no bar"
    press "$bar" ctrl+x
    box=$(wait_window Kelmar "$BOX_TEST" 30) || fail "$what: no warning about the failed save"
    screenshot "save-refused-$what"
    press "$box" Return
    wait_exit 30 || fail "$what: Kelmar did not end after the warning"
    [ "$KELMAR_EXIT" = 0 ] || fail "$what: exit code $KELMAR_EXIT"
    [ "$(sha256sum < "$mnt/apps.dat")" = "$old_sum" ] || fail "$what: the old apps.dat was changed"
    ls "$mnt"/*.tmp "$mnt"/*.TMP >/dev/null 2>&1 && fail "$what: temporary file left: $(ls "$mnt")"
    pass "$what: the save warned, the old apps.dat is whole, nothing was left behind"
}

cp "$work/old.dat" "$mnt/apps.dat"
# Fill the disk, leaving less room than the catalogue needs.
dd if=/dev/zero of="$mnt/filler" bs=1k count=256 2>/dev/null
expect_refused_save full-disk

rm -f "$mnt/filler"
mount -o remount,ro "$mnt" || fail "cannot remount read-only"
expect_refused_save read-only-folder
echo "1 passed, 0 failed"
