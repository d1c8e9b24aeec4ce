#!/usr/bin/env bash
# Draws every window offscreen with fixed data (a demo install in a throw-away prefix, a fixed
# clock and regional formats, only the fonts of the packages the console depends on) and makes
# the drawings the approved images in docs/screens/, which the test app/tst_screens compares the
# windows with. The windows and their data are listed in tests/app/ui/tst_screens.cpp. An image
# whose drawing did not change is left as it is; review the changed ones and commit them apart.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
build="${QUORVEL_BUILD_DIR:-build}"
if [ ! -f "$build/CMakeCache.txt" ]; then
    cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
fi
cmake --build "$build" --target tst_screens quorvel-smb-agent
mkdir -p docs/screens
QUORVEL_SCREENS_UPDATE=1 ctest --test-dir "$build" -R '^app/tst_screens$' --output-on-failure
if command -v git >/dev/null && git rev-parse --git-dir >/dev/null 2>&1; then
    git status --short -- docs/screens
fi
