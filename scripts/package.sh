#!/usr/bin/env bash
# Builds the Debian package build/win64/kelmar_VERSION-1_amd64.deb, installing what building it needs.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
cmake --preset win64 >/dev/null
cmake --build --preset win64 --target package
