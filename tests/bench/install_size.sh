#!/usr/bin/env bash
# What installing Kelmar's package brings onto a fresh Debian: the packages apt adds and the disk space
# they take, with Recommends (apt's default) and with --no-install-recommends (once alone, once with
# fonts-wine, the package's own Recommends, named beside it), on a system with 32-bit packages enabled
# and on one without. apt resolves each against a system that holds only Debian's required packages,
# from package lists of its own in a folder of its own: the machine's apt and dpkg are not touched.
# Usage: tests/bench/install_size.sh kelmar_VERSION-1_amd64.deb [SUITE...]   (default: bookworm trixie)
set -euo pipefail
deb=$(readlink -f "${1:?usage: $0 kelmar_VERSION-1_amd64.deb [SUITE...]}")
shift
suites=("$@")
[ ${#suites[@]} -gt 0 ] || suites=(bookworm trixie)
work=$(mktemp -d "${TMPDIR:-/tmp}/kelmar-sizes.XXXXXX")
trap 'rm -rf "$work"' EXIT

printf '%-10s %-48s %9s %11s\n' "suite" "install" "packages" "disk"
for suite in "${suites[@]}"; do
    dir=$work/$suite
    mkdir -p "$dir/lists/partial" "$dir/cache/archives/partial"
    echo "deb [arch=amd64,i386 signed-by=/usr/share/keyrings/debian-archive-keyring.gpg] http://deb.debian.org/debian $suite main" \
        >"$dir/sources.list"
    : >"$dir/status"
    apt_of() {  # COMMAND ARCHITECTURES ARGUMENTS...: apt-get or apt-cache on this suite's own lists
        local command=$1 archs=$2
        shift 2
        "$command" -q -o Dir::Etc::SourceList="$dir/sources.list" -o Dir::Etc::SourceParts=/nonexistent \
            -o Dir::State::Lists="$dir/lists" -o Dir::Cache="$dir/cache" -o Dir::State::status="$dir/status" \
            -o Debug::NoLocking=1 -o APT::Architectures="$archs" "$@"
    }
    apt_of apt-get amd64,i386 update >/dev/null 2>&1
    # The packages apt would install on a system that has none: its "Inst" lines.
    closure() { apt_of apt-get "$@" 2>/dev/null | awk '/^Inst / {print $2}' | sort -u; }
    mapfile -t required < <(apt_of apt-cache amd64 dumpavail 2>/dev/null \
        | awk -v RS= '/\nPriority: required/ {sub(/^Package: /, ""); sub(/\n.*/, ""); print}' | sort -u)
    closure amd64 install -s --no-install-recommends "${required[@]}" apt >"$dir/fresh"
    for archs in amd64,i386 amd64; do
        for way in recommends lean lean+fonts; do
            case $way in
                recommends) args=(install -s "$deb") ;;
                lean) args=(install -s --no-install-recommends "$deb") ;;
                lean+fonts) args=(install -s --no-install-recommends "$deb" fonts-wine) ;;
            esac
            closure "$archs" "${args[@]}" | sed 's/:amd64$//' | comm -23 - "$dir/fresh" | grep -v '^kelmar$' >"$dir/added" || true
            # Their sizes, as apt sums them for "disk space will be used", in one query.
            mapfile -t added <"$dir/added"
            kib=0
            if [ ${#added[@]} -gt 0 ]; then
                kib=$(apt_of apt-cache "$archs" show --no-all-versions "${added[@]}" 2>/dev/null \
                    | awk '/^Installed-Size:/ {kib += $2} END {print kib + 0}')
            fi
            kelmar=$(dpkg-deb -f "$deb" Installed-Size)
            label="${way/recommends/with Recommends}"
            label="${label/lean+fonts/--no-install-recommends, fonts-wine}"
            label="${label/lean/--no-install-recommends}"
            [ "$archs" = amd64 ] && label="$label, amd64 only" || label="$label, i386 enabled"
            # In apt's megabytes (10^6 bytes) of the sizes' kibibytes.
            printf '%-10s %-48s %9s %8d MB\n' "$suite" "$label" "$(($(wc -l <"$dir/added") + 1))" $(((kib + kelmar) * 1024 / 1000000))
        done
    done
done
