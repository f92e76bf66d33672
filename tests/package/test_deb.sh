#!/usr/bin/env bash
# The Debian package as Debian would judge it: lintian with no error or warning, exactly the files a
# desktop install needs, complete metadata that asks for no package Kelmar does not use, maintainer
# scripts that prepare the shared Wine prefix at install and when Wine's files change and remove it
# with the package, a valid menu entry that names the bar's window class, icons of the sizes they
# claim, and a manual page that covers every option of the launcher.
# Usage: test_deb.sh kelmar_VERSION-1_amd64.deb
set -euo pipefail
deb=$(readlink -f "${1:?usage: $0 kelmar_VERSION-1_amd64.deb}")
fail() { echo "FAIL: $*" >&2; exit 1; }
pass() { echo "ok   $*"; }
tree=$(mktemp -d)
trap 'rm -rf "$tree"' EXIT
dpkg-deb -x "$deb" "$tree" || fail "dpkg-deb cannot unpack $deb"

# As root lintian says so on standard error; only its tags count.
report=$(lintian --pedantic --display-info "$deb" 2>/dev/null) || fail "lintian failed: $report"
if grep -E '^[EW]: ' <<<"$report"; then fail "lintian reports errors or warnings"; fi
pass "lintian: no error, no warning${report:+ (other tags: $(grep -c . <<<"$report"))}"

expected='usr/bin/kelmar
usr/lib/kelmar/KELMAR32.EXE
usr/lib/kelmar/kelmar-import
usr/lib/kelmar/kelmar-prefix
usr/lib/kelmar/kelmar-run
usr/lib/kelmar/start-app
usr/share/applications/kelmar.desktop
usr/share/doc/kelmar/changelog.Debian.gz
usr/share/doc/kelmar/copyright
usr/share/doc/kelmar/user-guide.txt.gz
usr/share/icons/hicolor/16x16/apps/kelmar.png
usr/share/icons/hicolor/32x32/apps/kelmar.png
usr/share/icons/hicolor/48x48/apps/kelmar.png
usr/share/lintian/overrides/kelmar
usr/share/man/man1/kelmar.1.gz'
files=$(cd "$tree" && find . -type f -printf '%P\n' | sort)
[ "$files" = "$expected" ] || fail "the package holds: $(diff <(echo "$expected") <(echo "$files") | grep '^[<>]' | tr '\n' ' ')"
{ [ -x "$tree/usr/bin/kelmar" ] && [ ! -x "$tree/usr/lib/kelmar/KELMAR32.EXE" ]; } || fail "wrong file modes"
for program in kelmar-import kelmar-prefix kelmar-run start-app; do
    kind=$(file -b "$tree/usr/lib/kelmar/$program")
    { [ -x "$tree/usr/lib/kelmar/$program" ] && [[ $kind == "ELF 64-bit"*x86-64*", stripped" ]]; } \
        || fail "$program is not a stripped x86-64 program: $kind"
done
[ "$(head -c 2 "$tree/usr/lib/kelmar/KELMAR32.EXE")" = MZ ] || fail "KELMAR32.EXE is not a Windows program"
pass "the files: launcher, EXE, its four stripped Linux programs, menu entry, three icons, manual page, documents"

field() { dpkg-deb -f "$deb" "$1"; }
name=$(basename "$deb")
{ [ "$name" = "kelmar_$(field Version)_amd64.deb" ] && [ "$(field Architecture)" = amd64 ] \
    && [[ $(field Version) == *-1 ]]; } || fail "file name $name against Version $(field Version), Architecture $(field Architecture)"
for needed in wine64 wine64-preloader; do
    field Depends | grep -qE "(^|[ ,|])$needed(\$|[ ,(])" || fail "Depends lacks $needed: $(field Depends)"
done
# GLib's library is libglib2.0-0 where built on Debian 12 and libglib2.0-0t64 (which provides the old
# name) from Debian 13 on; either way with the version the programs were built against.
field Depends | grep -qE '(^|[ ,|])libglib2\.0-0(t64)? \(>= ' || fail "Depends has no versioned libglib2.0-0: $(field Depends)"
[[ $(field Recommends) == *fonts-wine* ]] || fail "Recommends: $(field Recommends)"
# One DPI query or font lookup is no reason for a package of X tools: kelmar-run asks libX11 and
# fontconfig, which Wine itself depends on.
for unused in x11-utils x11-xserver-utils fontconfig libnotify-bin; do
    dpkg-deb -f "$deb" Depends Recommends Suggests | grep -qE "(^|[ ,|:])$unused(\$|[ ,(])" \
        && fail "the package asks for $unused, which Kelmar does not use: $(dpkg-deb -f "$deb" Depends Recommends Suggests)"
done
[[ $(field Maintainer) == *@example.org\> ]] || fail "Maintainer: $(field Maintainer)"
for needed in Section Priority Installed-Size; do [ -n "$(field "$needed")" ] || fail "no $needed"; done
[ "$(field Description | wc -l)" -ge 3 ] || fail "the description has no long part"
pass "metadata: name, version, Depends wine64, its preloader and libglib2.0-0, Recommends fonts-wine and no X tools, maintainer, section, priority, size, description"

# The shared prefix: made at install and again when Wine's files change, never failing the install,
# removed with the package.
control=$tree/control
dpkg-deb -e "$deb" "$control" || fail "dpkg-deb cannot unpack the control files"
grep -qE '^ *(configure\|triggered)\)' "$control/postinst" && grep -q '^ */usr/lib/kelmar/kelmar-prefix || true$' "$control/postinst" \
    || fail "postinst does not run kelmar-prefix at configure and trigger: $(cat "$control/postinst")"
grep -q 'rm -rf /var/cache/kelmar$' "$control/postrm" || fail "postrm does not remove /var/cache/kelmar: $(cat "$control/postrm")"
for path in /usr/share/wine/wine.inf /usr/lib/x86_64-linux-gnu/wine/x86_64-windows /usr/lib/i386-linux-gnu/wine/i386-windows; do
    grep -qx "interest-noawait $path" "$control/triggers" || fail "no trigger on $path: $(cat "$control/triggers")"
done
for script in postinst postrm; do sh -n "$control/$script" || fail "$script is not valid sh"; done
pass "maintainer scripts: kelmar-prefix at configure and on a trigger for Wine's files, the shared prefix removed with the package"

entry=$tree/usr/share/applications/kelmar.desktop
desktop-file-validate "$entry" || fail "desktop-file-validate rejects kelmar.desktop"
for line in Name=Kelmar Exec=kelmar Icon=kelmar Type=Application StartupWMClass=kelmar32.exe; do
    grep -qx "$line" "$entry" || fail "kelmar.desktop lacks $line"
done
{ grep -q '^Comment=.' "$entry" && grep -q '^Categories=.*Utility;' "$entry"; } || fail "kelmar.desktop lacks a Comment or Utility"
for size in 16 32 48; do
    got=$(identify -format '%m %wx%h' "$tree/usr/share/icons/hicolor/${size}x$size/apps/kelmar.png")
    [ "$got" = "PNG ${size}x$size" ] || fail "the ${size}x$size icon is $got"
done
pass "the menu entry is valid, names the bar's window class, and its icon comes in 16, 32 and 48 pixels"

warnings=$tree/man-warnings
manual=$(MANWIDTH=100 man --warnings -l "$tree/usr/share/man/man1/kelmar.1.gz" 2>"$warnings") || fail "man cannot show kelmar(1)"
[ ! -s "$warnings" ] || fail "kelmar(1) has formatting warnings: $(cat "$warnings")"
for option in $(bash "$tree/usr/bin/kelmar" --help | grep -oE '^ +--[a-z]+' | tr -d ' '); do
    grep -q -- "$option" <<<"$manual" || fail "kelmar(1) does not describe $option"
done
for needed in "EXIT STATUS" apps.dat apps.dat.bak kelmar.ini wineprefix autostart/kelmar.desktop 'Z:\usr\bin\xdg-open'; do
    grep -qF -- "$needed" <<<"$manual" || fail "kelmar(1) does not mention $needed"
done
head -n1 "$tree/usr/share/doc/kelmar/copyright" | grep -q '^Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/' \
    || fail "copyright is not in the machine-readable format"
pass "kelmar(1) covers every option, the files and the exit status; copyright is machine-readable"
echo "1 passed, 0 failed"
