#!/usr/bin/env bash
# Killed while saving: SIGKILL the running EXE at moments spread over its save of a large catalogue.
# After every kill apps.dat must be the old catalogue or the new one, whole: never a mix, never empty.
# KELMAR_KILL_TRIALS sets the number of kills (default 24; a long run: KELMAR_KILL_TRIALS=300).
. "$(dirname "$0")/lib.sh"

trials=${KELMAR_KILL_TRIALS:-24}
work=$(mktemp -d)
trap 'rm -rf "$work"; [ -n "$KELMAR_PID" ] && kill -9 "$KELMAR_PID" 2>/dev/null' EXIT
write_settings 1 0 ""

# 65 menus of 100 apps. The old file carries junk in its link fields and after its texts' NULs, which
# the writer replaces by zeros, so the old and the new file differ in every record.
/usr/bin/python3 - "$work/old.dat" "$work/new.dat" <<'PY'
import struct, sys
old, new = bytearray(), bytearray()
def text(value, size, junk):
    return value + b'\0' + (bytes([junk]) * (size - len(value) - 1))
for m in range(65):
    name = b'Menu %d' % m
    old += text(name, 32, 0x5A) + struct.pack('<iIII', 100, 0xDEADBEEF, 0xCAFEBABE, 0x12345678)
    new += text(name, 32, 0) + struct.pack('<iIII', 100, 0, 0, 0)
    for a in range(100):
        fields = [(b'c:\\apps\\tool%d.exe' % a, 80), (b'c:\\work', 80), (b'-x %d' % a, 30), (b'App %d.%d' % (m, a), 30)]
        old += b''.join(text(v, s, 0x41) for v, s in fields) + struct.pack('<II', 0xFFFFFFFF, 0xEEEEEEEE)
        new += b''.join(text(v, s, 0) for v, s in fields) + bytes(8)
open(sys.argv[1], 'wb').write(old)
open(sys.argv[2], 'wb').write(new)
PY
old_sum=$(sha256sum < "$work/old.dat")
new_sum=$(sha256sum < "$work/new.dat")

# Runs Kelmar in a fresh folder holding the old catalogue, starts the watcher ("measure", or "kill DELAY"
# in microseconds after the save began; it writes to WATCH_LOG), and presses Ctrl+X; sets DIR and WATCHER.
start_and_exit() {
    DIR=$(mktemp -d "$work/run.XXXXXX")
    cp "$work/old.dat" "$DIR/apps.dat"
    launch_kelmar "$DIR"
    local bar
    bar=$(wait_window Kelmar "$BAR_TEST" 60) || fail "no bar"
    local how=(measure)
    [ "$1" = kill ] && how=(kill "$KELMAR_PID" "$2")
    WATCH_LOG=$work/watch.log
    /usr/bin/python3 "$E2E_ROOT/tests/e2e/kill_during_save.py" "$DIR" "${how[@]}" > "$WATCH_LOG" &
    WATCHER=$!
    # A save that begins before the watch is set goes unseen: wait for the watch, however slow the start.
    wait_until 60 "the watcher to set its watch" grep -q watching "$WATCH_LOG" || fail "the watcher did not start"
    xdotool windowfocus --sync "$bar" 2>/dev/null || xdotool windowfocus "$bar"
    sleep 0.2
    xdotool key --clearmodifiers ctrl+x
}

# The watcher's end: fails when it saw no save, saying whether Kelmar missed the key or ran on.
saw_save() {
    wait "$WATCHER" && return 0
    fail "$1 was not seen$(kill -0 "$KELMAR_PID" 2>/dev/null && echo "; Kelmar still runs, so Ctrl+X was not taken")"
}

# How long the save itself takes: from its temporary file's creation to apps.dat's replacement.
start_and_exit measure
saw_save "the save"
save_us=$(sed -n 2p "$WATCH_LOG")
wait_exit 60 || fail "Kelmar did not end"
[ "$KELMAR_EXIT" = 0 ] || fail "exit code $KELMAR_EXIT"
[ "$(sha256sum < "$DIR/apps.dat")" = "$new_sum" ] || fail "an undisturbed save did not write the new catalogue"
pass "an undisturbed save takes ${save_us} microseconds"
rm -rf "$DIR"

# Kills spread from the save's first moment to a quarter past its measured end.
inside=0 after=0
for trial in $(seq "$trials"); do
    delay_us=$(( (trial - 1) * save_us * 5 / 4 / (trials > 1 ? trials - 1 : 1) ))
    start_and_exit kill "$delay_us"
    saw_save "trial $trial: the save"
    wait_exit 30 || fail "killed Kelmar did not go"
    sum=$(sha256sum < "$DIR/apps.dat")
    if [ "$sum" = "$old_sum" ]; then
        inside=$((inside + 1))
    elif [ "$sum" = "$new_sum" ]; then
        after=$((after + 1))
    else
        fail "trial $trial (kill ${delay_us} us into the save): apps.dat is neither catalogue, $(stat -c %s "$DIR/apps.dat") bytes"
    fi
    rm -rf "$DIR"
done
pass "$trials kills spread over the save: apps.dat always whole ($inside left the old catalogue, $after the new one)"
echo "1 passed, 0 failed"
