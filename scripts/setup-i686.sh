#!/usr/bin/env bash
# Installs what running the i686 EXE needs on Debian 12 or 13 (x86_64): 32-bit Wine (wine32:i386) with its
# preloader and, for machines that cannot run 32-bit Linux programs natively, qemu-user to run it under
# emulation.
# qemu-user-binfmt is left out on purpose: the smoke test registers the handler only while it runs.
set -euo pipefail
sudo=
[ "$(id -u)" -eq 0 ] || sudo=sudo
export DEBIAN_FRONTEND=noninteractive

have() { dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q "install ok installed"; }
if have wine32:i386 && have wine32-preloader:i386 && have qemu-user; then exit 0; fi

if ! dpkg --print-foreign-architectures | grep -qx i386; then
    echo "Adding the i386 architecture to dpkg"
    $sudo dpkg --add-architecture i386
fi
echo "Installing: wine32:i386 wine32-preloader:i386 qemu-user"
$sudo apt-get update -q
$sudo apt-get install -y -q --no-install-recommends wine32:i386 wine32-preloader:i386 qemu-user
