#!/usr/bin/env bash
# Sets up this machine, checks the sources' layout (scripts/check-format.sh), builds everything
# with warnings as errors and runs the whole test suite twice: once as shipped, once built with
# AddressSanitizer and UndefinedBehaviorSanitizer (build-asan/); then every fuzz target runs
# briefly (build-fuzz/), so they keep building and stay free of findings. The plain run builds and
# checks the Debian package too (label package); the clean install into a Debian 12 root (label
# clean-install) takes long and is run by hand: ctest --test-dir build -L clean-install.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
bash scripts/check-format.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQUORVEL_WERROR=ON
cmake --build build
ctest --test-dir build --output-on-failure -j "$(nproc)" -LE clean-install
cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQUORVEL_SANITIZE=ON -DQUORVEL_WERROR=ON
cmake --build build-asan
ctest --test-dir build-asan --output-on-failure -j "$(nproc)"
scripts/fuzz.sh 20
