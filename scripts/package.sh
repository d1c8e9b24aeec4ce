#!/usr/bin/env bash
# Builds the Debian package build-package/quorvel_<version>_amd64.deb: the programs alone (no
# tests), with Debian's compiler and linker flags (hardening included), installed below /usr,
# stripped, with the dependencies read from the programs' libraries.
set -euo pipefail
cd "$(dirname "$0")/.."
out=build-package

export DEB_BUILD_MAINT_OPTIONS="hardening=+all"
eval "$(dpkg-buildflags --export=sh)"
# CMake takes no CPPFLAGS: the fortify level goes with the compiler flags.
export CXXFLAGS="$CPPFLAGS $CXXFLAGS"

launcher=()
if command -v ccache >/dev/null; then launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache); fi
cmake -S . -B "$out" -G Ninja -DCMAKE_BUILD_TYPE=None -DCMAKE_INSTALL_PREFIX=/usr -DQUORVEL_TESTS=OFF \
    "${launcher[@]}" >/dev/null
cmake --build "$out"
rm -f "$out"/quorvel_*.deb
(cd "$out" && cpack -G DEB >/dev/null)
ls "$out"/quorvel_*_amd64.deb
