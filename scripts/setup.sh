#!/usr/bin/env bash
# Installs what Kelmar needs on Debian 12 or 13, when something is missing: what building it, its Debian
# package and running it take; with --tests, also what the tests, the benchmarks and the release
# (NSIS for the Windows setup; GIO's gio, a private D-Bus and Python's GObject bindings for the package's
# desktop tests) take.
set -euo pipefail

# The x86_64 build and 64-bit Wine with its preloader (without it Wine now and then fails to start a
# program); on a machine with no display, a virtual one (xdpyinfo tells when it answers), xdotool to
# answer the first-run box, and ImageMagick for the screenshot (the package build makes its icons with
# it); the host compiler with GLib, fontconfig and libX11 for the package's Linux programs, and
# dpkg-shlibdeps for their dependencies (with file, by which CPack finds the programs to ask it about).
# The tests also need real locales (the order of names in French, menus under Japanese), a Japanese font,
# and xrdb to give the virtual display a DPI.
packages=(cmake ninja-build g++-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64
          wine64 wine64-preloader fonts-wine xvfb xdotool x11-utils imagemagick
          g++ pkg-config libglib2.0-dev libfontconfig-dev libx11-dev dpkg-dev file)
case ${1:-} in
    --tests)
        packages+=(python3 make git procps g++-mingw-w64-i686-posix binutils-mingw-w64-i686 googletest wine
                   clang libclang-rt-dev libbenchmark-dev python3-xlib lintian desktop-file-utils nsis
                   libglib2.0-bin dbus-daemon python3-gi locales-all fonts-vlgothic x11-xserver-utils) ;;
    "") ;;
    *) echo "usage: $0 [--tests]" >&2; exit 1 ;;
esac
missing=()
for package in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed" || missing+=("$package")
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing: ${missing[*]}"
sudo=
[ "$(id -u)" -eq 0 ] || sudo=sudo
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -q
$sudo apt-get install -y -q --no-install-recommends "${missing[@]}"
