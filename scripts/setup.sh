#!/usr/bin/env bash
# Installs what building and testing Kelmar needs on Debian 12, when something is missing.
set -euo pipefail

packages=(cmake ninja-build g++ make python3 git
          g++-mingw-w64-x86-64-posix g++-mingw-w64-i686-posix binutils-mingw-w64-x86-64 binutils-mingw-w64-i686
          googletest wine wine64 fonts-wine xvfb xdotool x11-utils imagemagick procps
          clang-14 libclang-rt-14-dev libbenchmark-dev python3-xlib)
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
