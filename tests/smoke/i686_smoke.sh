#!/usr/bin/env bash
# Smoke test of the shipped i686 KELMAR32.EXE and its setup under 32-bit Wine: the setup installs the
# ZIP's very EXE silently and makes the menus from a Start menu holding a program that 64-bit Windows's
# System32 alone has (the 32-bit KELMENUS.EXE sees SysWOW64 there), and the installed EXE shows the
# first-run box and the bar, starts that program, ends on Ctrl+X with exit code 0 and writes its files;
# then the setup moves it by a quoted "/D=", and the entry's silent uninstall command removes it, ending
# with 0. The program and its shortcut are made with the x86_64 build's test helpers (build/win64).
# Where this machine cannot run 32-bit Linux programs, 32-bit Wine runs under qemu-i386 through a
# binfmt_misc entry that exists only while this test runs: where the kernel allows, in a user namespace
# of the test's own, so that nothing else sees it (with the entry visible, every other test's new prefix
# would set up its 32-bit half under emulation, minutes instead of seconds). Slow: one prefix for the
# whole test, its waits scaled by the time the prefix took.
# KELMAR_SKIP_SMOKE=1 skips it. Prints "skipped: REASON" and exits 0 when it cannot run here.
set -u
root=$(cd "$(dirname "$0")/../.." && pwd)
exe=$(readlink -f "${1:-$root/build/win32/KELMAR32.EXE}")
setups=("$(dirname "$exe")"/Kelmar-*-setup.exe)
installer=$(readlink -f "${2:-${setups[-1]}}")
skip() { echo "skipped: $*"; exit 0; }
[ "${KELMAR_SKIP_SMOKE:-0}" = 1 ] && skip "KELMAR_SKIP_SMOKE=1"
[ -f "$exe" ] || { echo "FAIL: no i686 EXE at $exe" >&2; exit 1; }
[ -f "$installer" ] || { echo "FAIL: no setup at $installer" >&2; exit 1; }
"$root/scripts/setup-i686.sh" || { echo "FAIL: could not install 32-bit Wine" >&2; exit 1; }

wine32=/usr/lib/wine/wine
entry=/proc/sys/fs/binfmt_misc/kelmar-i386
registered=
cleanup() {
    [ -n "${KELMAR_PID:-}" ] && kill "$KELMAR_PID" 2>/dev/null
    declare -F kelmar_wine_stop >/dev/null && kelmar_wine_stop
    [ -n "$registered" ] && [ -e "$entry" ] && echo -1 >"$entry"
    [ -n "${work:-}" ] && rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 1' INT TERM

register_qemu() {  # i386 ELF executables and shared objects (e_type 2 or 3, e_machine 3)
    printf '%s' ':kelmar-i386:M::\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00:\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff:/usr/bin/qemu-i386:' \
        >/proc/sys/fs/binfmt_misc/register 2>/dev/null
}

if [ "${KELMAR_SMOKE_NAMESPACE:-}" = 1 ]; then
    # Inside the private namespace: a binfmt_misc instance of its own, gone with the namespace.
    mount -t binfmt_misc binfmt_misc /proc/sys/fs/binfmt_misc && register_qemu && registered=1 \
        || skip "cannot register qemu-i386 in a private binfmt_misc"
    "$wine32" --version >/dev/null 2>&1 || skip "32-bit Wine does not start under qemu-i386"
    echo "32-bit programs run here under qemu-i386, registered in a private namespace (slow: minutes)"
elif "$wine32" --version >/dev/null 2>&1; then
    echo "32-bit programs run here directly"
else
    [ -x /usr/bin/qemu-i386 ] || skip "32-bit programs do not run here, and qemu-i386 is missing"
    # binfmt_misc belongs to the user namespace from Linux 6.7 on: run the test in a new one.
    if unshare --user --map-root-user --mount true 2>/dev/null \
        && unshare --user --map-root-user --mount sh -c \
            'mount -t binfmt_misc binfmt_misc /proc/sys/fs/binfmt_misc && test ! -e /proc/sys/fs/binfmt_misc/kelmar-i386' 2>/dev/null; then
        trap - EXIT
        KELMAR_SMOKE_NAMESPACE=1 exec unshare --user --map-root-user --mount bash "$0" "$exe" "$installer"
    fi
    # Older kernels: one system-wide entry, removed again on exit.
    [ "$(id -u)" -eq 0 ] || skip "32-bit programs do not run here, and registering qemu-i386 for them needs root"
    mountpoint -q /proc/sys/fs/binfmt_misc || mount -t binfmt_misc binfmt_misc /proc/sys/fs/binfmt_misc 2>/dev/null \
        || skip "32-bit programs do not run here, and binfmt_misc cannot be mounted"
    [ -e "$entry" ] && echo -1 >"$entry"  # left over from an interrupted run
    registered=1
    register_qemu || { registered=; skip "cannot register qemu-i386 with binfmt_misc"; }
    "$wine32" --version >/dev/null 2>&1 || skip "32-bit Wine does not start under qemu-i386"
    echo "32-bit programs run here under qemu-i386 (slow: the prefix takes minutes, each window seconds)"
fi

# A prefix of its own, 64-bit like the Windows most users have, where the shipped EXE runs through 32-bit
# Wine as it runs on 64-bit Windows. Its 64-bit half sets up natively in seconds, so that only the 32-bit
# half's registration and Kelmar itself run under emulation (a 32-bit-only prefix emulates every one of
# Wine's own programs and services, several times as long). Nothing in it opens a web page.
. "$root/scripts/wine-env.sh"
unset WINEPREFIX
export WINEDLLOVERRIDES="$WINEDLLOVERRIDES;iexplore.exe="
kelmar_start_xvfb || exit 1
started=$(date +%s)
WINEPREFIX=$(mktemp -d "${TMPDIR:-/tmp}/kelmar-wine32.XXXXXX") || exit 1
KELMAR_OWN_PREFIX=$WINEPREFIX
export WINEPREFIX
"$WINESERVER" -p
# Under emulation the set-up may outlast Wine's own wait for it, so the first command may fail: try again
# until the prefix answers and the set-up's own programs have ended.
until "$WINELOADER" reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null 2>&1 \
        && [ -z "$(kelmar_prefix_programs 'wineboot|rundll32')" ]; do
    if [ $(($(date +%s) - started)) -ge 1800 ]; then
        echo "FAIL: Wine could not set up its prefix in 1800 s; still running:" >&2
        kelmar_prefix_programs . | sed 's/^/  /' >&2
        exit 1
    fi
    sleep 1
done
setup=$(($(date +%s) - started))
echo "     prefix ready in $setup s"
set -- "$exe"
. "$root/tests/e2e/lib.sh"
# Every later wait follows the speed just measured: twice as slow a machine gets twice the time.
first_window=$(scaled_limit "$setup" 100 120 1800)
later=$(scaled_limit "$setup" 25 60 900)
# A 64-bit program in System32 alone, in the all-users Start menu.
helpers=$root/build/win64
{ [ -f "$helpers/recorder.exe" ] && [ -f "$helpers/shortcut.exe" ]; } \
    || fail "no x86_64 test helpers in $helpers: cmake --build --preset win64 makes them"
cp "$helpers/recorder.exe" "$WINEPREFIX/drive_c/windows/system32/kelprobe.exe"
"$WINELOADER" "$helpers/shortcut.exe" make 'C:\ProgramData\Microsoft\Windows\Start Menu\Programs\Probe.lnk' \
    'C:\windows\system32\kelprobe.exe' '' '' 2>/dev/null || fail "cannot make the Start menu's shortcut"
# A 32-bit program's exit code as Windows gives it to a parent that waits for it: the 64-bit start, which
# is not emulated, waits. Wine's server kills a process whose Linux side has not gone a moment after its
# last thread ended; under emulation on a busy machine that moment can pass, and the Linux exit status
# of the emulated process itself then reads 137 for one that returned 0.
run_and_wait() { timeout "$1" "$WINELOADER" start /wait /unix "${@:2}"; }
# The setup as an administrator runs it, silently: the EXE that it installs is the one the ZIP holds.
run_and_wait "$first_window" "$installer" /S || fail "the setup ended with exit code $?"
installed=("$WINEPREFIX"/drive_c/users/*/AppData/Local/Programs/Kelmar)
work=${installed[0]}
cmp -s "$exe" "$work/KELMAR32.EXE" || fail "the setup did not install the shipped EXE in %LOCALAPPDATA%\\Programs\\Kelmar"
zips=("$(dirname "$exe")"/Kelmar-*-win32.zip)
if [ -f "${zips[-1]}" ]; then
    /usr/bin/python3 -c 'import sys, zipfile; sys.exit(zipfile.ZipFile(sys.argv[1]).read("KELMAR32.EXE") != open(sys.argv[2], "rb").read())' \
        "${zips[-1]}" "$work/KELMAR32.EXE" || fail "the setup's KELMAR32.EXE is not the ZIP's"
fi
pass "the setup installs the ZIP's KELMAR32.EXE silently"
/usr/bin/python3 - "$work/apps.dat" <<'PY' || fail "the setup's KELMENUS.EXE did not make the menu of the Start menu"
import sys
data = open(sys.argv[1], 'rb').read()
text = lambda b: b.split(b'\0')[0]
if len(data) != 48 + 228 or text(data[:32]) != b'&Programs' or text(data[48 + 190:48 + 220]) != b'&Probe' \
        or text(data[48:48 + 80]) != b'C:\\windows\\Sysnative\\kelprobe.exe':
    sys.exit('apps.dat holds %r' % data)
PY
pass "the setup's KELMENUS.EXE makes the menu, reaching System32's program through Sysnative"
rm -f "$WINDOWS_DIR/kelmar.ini"
KELMAR_EXE=$work/KELMAR32.EXE
# Kelmar's exit code likewise, as Windows gives it to a parent that waits for it.
printf '#!/bin/sh\nexec "%s" start /wait /unix "$1"\n' "$WINELOADER" >"$WINEPREFIX/run-and-wait"
chmod +x "$WINEPREFIX/run-and-wait"
export KELMAR_WINE_RUN=$WINEPREFIX/run-and-wait
launch_kelmar "$work"
box=$(wait_window Kelmar "$BOX_TEST" "$first_window") || fail "no thanks box on the first run"
pass "first run shows the thanks box"
press "$box" Return
bar=$(wait_window Kelmar "$BAR_TEST" "$later") || fail "no bar at the top of the screen"
pass "the bar lies across the top of the screen"
press "$bar" alt+p
sleep 2
xdotool key p
wait_until "$later" "the program from System32 to start" test -s "$WINEPREFIX/drive_c/windows/system32/recorder.txt" \
    || fail "choosing Probe started nothing"
pass "the bar starts System32's 64-bit program"
sleep 2
screenshot i686-bar
[ "$(ini_value StayOnTop)" = 1 ] || fail "kelmar.ini lacks StayOnTop=1: $(cat "$WINDOWS_DIR/kelmar.ini" 2>&1)"
press "$bar" ctrl+x
wait_exit "$later" || fail "Ctrl+X did not end Kelmar"
[ "$KELMAR_EXIT" = 0 ] || fail "exit code $KELMAR_EXIT"
pass "Ctrl+X ends Kelmar with exit code 0"
size=$(stat -c %s "$work/apps.dat" 2>/dev/null)
[ "$size" = 276 ] && [ "$(head -c 9 "$work/apps.dat")" = "&Programs" ] || fail "apps.dat is not the imported catalogue ($size bytes)"
[ "$(LC_ALL=C ls -A "$work" | tr '\n' ' ')" = "KELMAR32.EXE KELMENUS.EXE LICENSE.TXT README.TXT Uninstall.exe apps.dat " ] \
    || fail "files left in the install folder: $(ls -A "$work")"
pass "apps.dat and kelmar.ini are written, and nothing else"
# The shipped setup reads its command line with 32-bit pointers: "/D=" quoted whole, as PowerShell passes
# a folder with a space, moves Kelmar there with its menus; the silent uninstall that the entry registers
# runs in place and ends with 0 once Kelmar is gone.
run_and_wait "$later" "$installer" /S '/D=C:\Kelmar 32' || fail "the move by a quoted /D= ended with exit code $?"
moved="$WINEPREFIX/drive_c/Kelmar 32"
[ "$(LC_ALL=C ls -A "$moved" 2>&1 | tr '\n' ' ')" = "KELMAR32.EXE KELMENUS.EXE LICENSE.TXT README.TXT Uninstall.exe apps.dat " ] \
    || fail "the quoted /D= did not move Kelmar to C:\\Kelmar 32: $(ls -A "$moved" 2>&1)"
key='HKCU\Software\Microsoft\Windows\CurrentVersion\Uninstall\Kelmar'
quiet=$("$WINELOADER" reg query "$key" /v QuietUninstallString 2>/dev/null | tr -d '\r' | sed -n 's/.*REG_SZ *//p')
[ "$quiet" = '"C:\Kelmar 32\Uninstall.exe" /S _?=C:\Kelmar 32' ] || fail "QuietUninstallString is \"$quiet\""
printf '@%s\r\n' "$quiet" >"$WINEPREFIX/drive_c/quiet.cmd"
# (Through the 64-bit cmd and reg, which are not emulated.)
timeout "$later" "$WINELOADER" cmd /c 'C:\quiet.cmd' || fail "the registered silent uninstall ended with exit code $?"
"$WINELOADER" reg query "$key" >/dev/null 2>&1 && fail "the entry under Apps and features is still there"
for _ in $(seq "$later"); do [ "$(LC_ALL=C ls -A "$moved")" = apps.dat ] && break; sleep 1; done
[ "$(LC_ALL=C ls -A "$moved")" = apps.dat ] || fail "after the uninstall the folder holds: $(ls -A "$moved")"
pass "a quoted /D= moves Kelmar with its menus; the registered silent uninstall ends with 0, keeping apps.dat"
echo "1 passed, 0 failed"
