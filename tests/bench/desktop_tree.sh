#!/usr/bin/env bash
# Makes a desktop-entry tree like the applications a desktop has installed, for the import's figures and
# the README's picture of a first bar: the .desktop files of a desktop's usual applications, taken from
# Debian's packages with apt-get download (nothing is installed), in OUT/applications; the desktops' menu
# titles with their translations (GNOME's and XFCE's .directory files) in OUT/desktop-directories; and
# OUT/bin with a stand-in (/bin/true) for each program they start, since GIO shows no entry whose program
# is missing.
# An entry that names its program by an absolute path names it by its base name here, so that the
# stand-ins on PATH answer for it. A tree once made is kept.
# Usage: tests/bench/desktop_tree.sh OUT   (then XDG_DATA_DIRS=OUT PATH=OUT/bin:$PATH)
set -euo pipefail
out=$(readlink -m "${1:?usage: $0 OUT}")
[ -d "$out/applications" ] && [ -d "$out/desktop-directories" ] && [ -d "$out/bin" ] && exit 0

packages=(
    firefox-esr thunderbird transmission-gtk hexchat filezilla remmina
    libreoffice-writer libreoffice-calc libreoffice-impress libreoffice-draw evince gnome-calendar simple-scan
    gimp inkscape eog shotwell
    vlc rhythmbox totem audacity cheese gnome-sound-recorder pavucontrol
    gnome-mines aisleriot gnome-chess gnome-sudoku quadrapassel gnome-2048 five-or-more
    geany meld gitg ghex sysprof
    kalzium kturtle klettres stellarium avogadro
    gnome-system-monitor gnome-disk-utility baobab gnome-terminal gparted synaptic htop
    gnome-control-center gnome-tweaks dconf-editor
    gnome-calculator gedit gnome-text-editor nautilus file-roller gnome-characters gnome-clocks gnome-weather
    gnome-maps seahorse gnome-screenshot gnome-font-viewer
    gnome-menus libgarcon-common
)
mkdir -p "${out%/*}"
work=$(mktemp -d "$out.XXXXXX")
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/debs" "$work/tree" "$work/applications" "$work/bin"
(cd "$work/debs" && apt-get download -q -o APT::Sandbox::User="$(id -un)" "${packages[@]}" >/dev/null)
for package in "$work"/debs/*.deb; do
    dpkg-deb --fsys-tarfile "$package" | tar -x -C "$work/tree" --wildcards './usr/share/applications/*' \
        './usr/share/desktop-directories/*' 2>/dev/null || true
done
cp -r "$work"/tree/usr/share/applications/. "$work/applications"
cp -r "$work"/tree/usr/share/desktop-directories "$work/desktop-directories"
sed -i -E 's#^((Try)?Exec=)/[^ ]*/#\1#' "$work"/applications/*.desktop
sed -n -E 's/^(Try)?Exec=([^ ]+).*/\2/p' "$work"/applications/*.desktop | sort -u | while read -r program; do
    ln -sf /bin/true "$work/bin/$program"
done
mkdir -p "$out"
rm -rf "${out:?}/applications" "${out:?}/desktop-directories" "${out:?}/bin"
mv "$work/applications" "$work/desktop-directories" "$work/bin" "$out/"
echo "$out: $(find "$out/applications" -name '*.desktop' | wc -l) desktop entries of ${#packages[@]} packages"
