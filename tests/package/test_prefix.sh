#!/usr/bin/env bash
# Kelmar's Wine prefix with the unpacked Debian package as apt leaves it installed: kelmar-prefix (which
# its maintainer scripts run) prepares the shared prefix; then, as an ordinary user (nobody, when the
# test runs as root), the first start copies it, runs, and leaves a data folder of a few megabytes whose
# prefix is that user's (their name, their home folder's links, nothing of the stand-in that prepared it);
# a program in the prefix cannot change Wine's own files through it; a Wine upgrade (the prefix's time
# stamp made old, a COM class taken from its registry) is made at the next start as Wine makes it, the
# class registered again and the prefix small again; each of the launcher's own files in the data folder,
# emptied and then garbled, still lets Kelmar start. As root, a prefix copied from the shared one holds no
# link into Wine's files, and a start that updates one that does leaves every file of Wine's unchanged.
# Usage: test_prefix.sh kelmar_VERSION-1_amd64.deb
deb=$(readlink -f "${1:?usage: $0 kelmar_VERSION-1_amd64.deb}")
tree=$(mktemp -d "${TMPDIR:-/tmp}/kelmar prefix.XXXXXX")  # a space in every path
dpkg-deb -x "$deb" "$tree" || { echo "FAIL: dpkg-deb cannot unpack $deb" >&2; exit 1; }
set -- "$tree/usr/lib/kelmar/KELMAR32.EXE"
. "$(dirname "$0")/../e2e/lib.sh"
set -o pipefail

kelmar=$tree/usr/bin/kelmar
home=$tree/home
data=$home/.local/share/kelmar
prefix=$data/wineprefix
wine_folders=(/usr/lib/x86_64-linux-gnu/wine /usr/share/wine /usr/lib/wine)
# A class that Wine's update registers (msxml3's DOMDocument), as the registry file names its key.
clsid='{2933BF90-7B36-11D2-B20E-00C04F983E60}'
class_key="[Software\\\\Classes\\\\CLSID\\\\$clsid]"
mkdir -p "$home/Desktop" "$home/Documents"  # which Wine 8 and 10 alike link the profile's to
chmod 755 "$tree"
# The ordinary user: nobody when the test runs as root, which then also runs the root checks.
if [ "$(id -u)" = 0 ]; then
    user=nobody
    chown -R nobody:nogroup "$home"
    as_user() { setpriv --reuid=nobody --regid=nogroup --clear-groups "$@"; }
else
    user=$(id -un)
    as_user() { "$@"; }
fi
cleanup() {
    [ -n "$KELMAR_PID" ] && kill "$KELMAR_PID" 2>/dev/null
    for dir in "$prefix" "$tree/root/kelmar/wineprefix"; do
        [ -d "$dir" ] && as_user env WINEPREFIX="$dir" "$WINESERVER" -k 2>/dev/null
    done
    rm -rf "$tree"
    declare -F kelmar_wine_stop >/dev/null && kelmar_wine_stop
}
trap cleanup EXIT
# A root folder closed to every other user (a bare chroot's) lets no ordinary user run anything at all.
as_user test -x / || { echo "skipped: no user but root may enter / here ($(ls -ld / | cut -d' ' -f1)), so no ordinary user's start can be tried"; exit 0; }
as_user test -x "$kelmar" || fail "the user $user cannot reach $kelmar: a folder above it is closed to other users ($(ls -ld / "${TMPDIR:-/tmp}" | awk '{print $1, $NF}' | paste -sd ' '))"
# A session of the user's: this test's home, no XDG folders of its own, the virtual display.
session() {
    as_user env -u WINEPREFIX -u XDG_DATA_HOME -u XDG_RUNTIME_DIR -u XDG_CONFIG_HOME HOME="$home" USER="$user" \
        LOGNAME="$user" XDG_DATA_DIRS="$tree/none" "$@"
}
in_prefix() { session env WINEPREFIX="$prefix" "$@"; }
disk_bytes() { du -s --block-size=1 "$1" | cut -f1; }
links_into_wine() { find "$1" -type l -lname '/usr/lib/*/wine/*' | wc -l; }
checksums() { find "${wine_folders[@]}" -type f -print0 2>/dev/null | sort -z | xargs -0 md5sum; }

# Kelmar started as WHO (session or a command) in the background; its output in $tree/out.
start() {
    ("$@" "$kelmar" >"$tree/out" 2>&1) &
    KELMAR_PID=$!
}
# The bar up within SECONDS, then Ctrl+X: exit code 0.
bar_and_exit() {  # WHAT SECONDS
    bar=$(wait_window Kelmar "$BAR_TEST" "$2") || fail "$1: no bar; the launcher said: $(cat "$tree/out")"
    press "$bar" ctrl+x
    wait_exit 60 || fail "$1: Ctrl+X did not end Kelmar"
    [ "$KELMAR_EXIT" = 0 ] || fail "$1: exit code $KELMAR_EXIT; the launcher said: $(cat "$tree/out")"
    # Wine's server writes the registry when it ends, a few seconds after its last program.
    "${3:-in_prefix}" timeout 60 "$WINESERVER" -w || fail "$1: Wine's server did not end"
}

# The shared prefix, as the package's postinst makes it; its time sets this machine's waits.
began=$SECONDS
"$tree/usr/lib/kelmar/kelmar-prefix" >"$tree/prepare.out" 2>&1 || fail "kelmar-prefix failed: $(cat "$tree/prepare.out")"
made=$((SECONDS - began))
shared=$tree/var/cache/kelmar/wineprefix
[ -f "$shared/system.reg" ] || fail "no shared prefix in $shared: $(cat "$tree/prepare.out")"
[ "$(links_into_wine "$shared")" -gt 500 ] || fail "the shared prefix holds only $(links_into_wine "$shared") links into Wine's files"
[ -z "$(find "$shared" -name wineserver)" ] || fail "the shared prefix notes its Wine server's folder"
"$tree/usr/lib/kelmar/kelmar-prefix" | grep -q 'up to date' || fail "kelmar-prefix made again a prefix that was up to date"
limit=$(scaled_limit "$made" 300 60 900)
update_limit=$(scaled_limit "$made" 600 120 1200)  # Wine's update takes about as long again, and a copy of its files
pass "kelmar-prefix prepares the shared prefix in $made s: $(disk_bytes "$shared") bytes, $(links_into_wine "$shared") links into Wine's files"

# The first start of a user who never started Kelmar.
start session
box=$(wait_window Kelmar "$BOX_TEST" "$limit") || fail "no thanks box on the first start; the launcher said: $(cat "$tree/out")"
press "$box" Return
bar_and_exit "first start" "$limit"
size=$(disk_bytes "$data")
[ "$size" -le 10000000 ] || fail "the data folder takes $size bytes after the first start: $(du -a --block-size=1 "$data" | sort -n | tail -n 5)"
[ -d "$prefix/drive_c/users/$user" ] || fail "no profile folder for $user: $(ls "$prefix/drive_c/users")"
[ "$(readlink "$prefix/drive_c/users/$user/Desktop")" = "$home/Desktop" ] \
    || fail "$user's Desktop is not the home folder's: $(ls -l "$prefix/drive_c/users/$user")"
[ "$(readlink "$prefix/drive_c/users/$user/Documents")" = "$home/Documents" ] \
    || fail "$user's Documents are not the home folder's: $(ls -l "$prefix/drive_c/users/$user")"
grep -qF "\"ProfileImagePath\"=\"C:\\\\users\\\\$user\"" "$prefix/system.reg" || fail "the registry has no profile for $user"
stand_in=$(grep -rl -a 'kelmar-shared-prefix' "$data") && fail "the stand-in user of the shared prefix is in $stand_in"
[ ! -e "$prefix/drive_c/users/kelmar-shared-prefix" ] || fail "the stand-in user's profile folder was copied"
pass "first start as $user: the thanks box, the bar, exit code 0; the data folder $size bytes; $user's profile and home folder links, nothing of the stand-in"

# A program in the prefix that writes a library of Wine's, through the link, is refused.
before=$(md5sum </usr/lib/x86_64-linux-gnu/wine/x86_64-windows/msxml3.dll)
in_prefix "$WINELOADER" cmd /c 'copy /y C:\windows\win.ini C:\windows\system32\msxml3.dll' >"$tree/copy.out" 2>&1 \
    && fail "a copy over a library of Wine's succeeded: $(cat "$tree/copy.out")"
[ "$(md5sum </usr/lib/x86_64-linux-gnu/wine/x86_64-windows/msxml3.dll)" = "$before" ] || fail "a program in the prefix changed Wine's msxml3.dll"
pass "a program in the prefix gets an error, not a changed file of Wine's, when it writes a library of Wine's"

# Wine upgraded: the prefix's time stamp older than wine.inf, and a class its update registers gone.
in_prefix "$WINELOADER" reg delete "HKLM\\Software\\Classes\\CLSID\\$clsid" /f >/dev/null 2>&1 || fail "reg delete failed"
in_prefix "$WINESERVER" -w
! grep -qF "$class_key" "$prefix/system.reg" || fail "the class $clsid is still in the registry"
echo 1500000000 | session tee "$prefix/.update-timestamp" >/dev/null
start session
bar_and_exit "start after Wine's upgrade" "$update_limit"
grep -q "Updating Kelmar's Wine prefix" "$tree/out" || fail "the start after the upgrade did not say it updates the prefix: $(cat "$tree/out")"
grep -qF "$class_key" "$prefix/system.reg" || fail "the update did not register $clsid again"
# Wine writes its time stamp as a Windows text file.
stamp() { tr -d '\r\n' <"$1/.update-timestamp"; }
[ "$(stamp "$prefix")" = "$(stat -c %Y /usr/share/wine/wine.inf)" ] || fail "the prefix's time stamp $(stamp "$prefix") is not wine.inf's"
size=$(disk_bytes "$data")
[ "$size" -le 10000000 ] || fail "the data folder takes $size bytes after the update"
[ "$(links_into_wine "$prefix")" -gt 500 ] || fail "the prefix holds $(links_into_wine "$prefix") links into Wine's files after the update"
pass "after Wine's upgrade: the start updates the prefix as Wine does, $clsid registered again, the data folder $size bytes again"

# Each of the launcher's own files emptied, then garbled: Kelmar starts all the same, and the file is
# sound again afterwards.
for file in kelmar.lock apps.dat.codepage wineprefix/kelmar-session.inf wineprefix/.kelmar-wine; do
    [ -f "$data/$file" ] || fail "no $file in the data folder to damage"
    for damage in empty garbled; do
        if [ "$damage" = empty ]; then : | session tee "$data/$file" >/dev/null
        else printf '\x00\xff garbled\n\x01' | session tee "$data/$file" >/dev/null; fi
        start session
        bar_and_exit "$file $damage" 120
        ! grep -q '^kelmar:' "$tree/out" || fail "$file $damage: the launcher said: $(cat "$tree/out")"
    done
done
[ "$(cat "$prefix/.kelmar-wine")" = "$(stat -c %Y /usr/share/wine/wine.inf)" ] || fail "the prefix's mark is not sound again"
grep -q 'LogPixels' <(iconv -f UTF-16 -t UTF-8 "$prefix/kelmar-session.inf") || fail "the noted settings are not sound again"
pass "each launcher file of the data folder (kelmar.lock, apps.dat.codepage, kelmar-session.inf, .kelmar-wine) emptied or garbled: Kelmar starts, the file sound again"

if [ "$(id -u)" != 0 ]; then
    echo "note: the runs as root were left out: this test runs as $(id -un)"
    echo "1 passed, 0 failed"
    exit 0
fi
# Root: its first start's prefix holds Wine's files themselves; a prefix with links into them (copied
# from a user's) and Wine upgraded since: the start as root updates it without writing any file of Wine's.
root_session() {
    env -u WINEPREFIX -u XDG_RUNTIME_DIR HOME="$tree/roothome" XDG_DATA_HOME="$tree/root" XDG_CONFIG_HOME="$tree/roothome/config" \
        XDG_DATA_DIRS="$tree/none" "$@"
}
in_root_prefix() { env WINEPREFIX="$tree/root/kelmar/wineprefix" "$@"; }
mkdir -p "$tree/roothome"
start root_session
box=$(wait_window Kelmar "$BOX_TEST" "$limit") || fail "no thanks box on root's first start; the launcher said: $(cat "$tree/out")"
press "$box" Return
bar_and_exit "root's first start" "$limit" in_root_prefix
root_prefix=$tree/root/kelmar/wineprefix
[ "$(links_into_wine "$root_prefix")" = 0 ] || fail "root's prefix holds $(links_into_wine "$root_prefix") links into Wine's files"
checksums >"$tree/before.md5"
rm -rf "$root_prefix"
cp -a "$prefix" "$root_prefix"
rm "$root_prefix/wineserver"  # the user's Wine server's folder, noted by Debian's Wine
chown -R root:root "$root_prefix"
echo 1500000000 >"$root_prefix/.update-timestamp"
start root_session
bar_and_exit "root's start after Wine's upgrade" "$update_limit" in_root_prefix
checksums >"$tree/after.md5"
cmp -s "$tree/before.md5" "$tree/after.md5" || fail "root's start changed Wine's files: $(diff "$tree/before.md5" "$tree/after.md5" | head -n 5)"
[ "$(links_into_wine "$root_prefix")" = 0 ] || fail "root's updated prefix holds links into Wine's files"
[ "$(stamp "$root_prefix")" = "$(stat -c %Y /usr/share/wine/wine.inf)" ] || fail "root's prefix was not updated"
pass "as root: a prefix of Wine's files themselves; one with links, after Wine's upgrade, updated with every file of Wine's unchanged"
echo "1 passed, 0 failed"
