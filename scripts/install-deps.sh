#!/usr/bin/env bash
# Installs the Debian packages needed to build, test and run the console.
# Quick and silent when everything is already installed.
set -euo pipefail

packages=(
    cmake ninja-build g++ pkg-config
    qt6-base-dev qt6-base-dev-tools
    libsqlite3-dev sqlite3
    pxlib-dev           # reads an old café's Paradox tables (quorvel-import)
    libsodium-dev       # the owner's PIN, kept as an Argon2id hash
    libgl-dev
    fonts-noto-core fonts-dejavu-core
    fonts-liberation2   # Arial's metrics, for the printed card report
    xvfb xauth
    poppler-utils
    samba smbclient libsmbclient-dev   # stations over SMB, and the tests' own smbd
    clang libclang-rt-14-dev           # the fuzz targets (libFuzzer), scripts/fuzz.sh
    clang-format                       # the sources' layout, scripts/check-format.sh
    librsvg2-bin                       # the menu icons, rendered from their SVG at build time
    dpkg-dev file lintian desktop-file-utils appstream man-db xdotool   # the package and its checks
    mmdebstrap                         # the clean install into a Debian 12 root (ctest -L clean-install)
)

missing=()
for p in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
        missing+=("$p")
    fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

if [ "$(id -u)" -eq 0 ]; then sudo=""; else sudo="sudo"; fi
echo "Installing: ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -qq
$sudo apt-get install -y --no-install-recommends "${missing[@]}"
