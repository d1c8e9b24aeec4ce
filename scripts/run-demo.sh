#!/usr/bin/env bash
# Sets up this machine, builds the programs, installs a demo into the prefix (simulated stations,
# empty ledger and card tables) and starts the console from the install directory.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build --target QuorvelServer quorvel-setup CardCreator quorvel-import quorvel-export quorvel-report quorvel-audit quorvel-smb-agent
export QUORVEL_PREFIX="${QUORVEL_PREFIX:-${XDG_DATA_HOME:-$HOME/.local/share}/quorvel}"
build/quorvel-setup --demo
cd "$QUORVEL_PREFIX/drive_c/Program Files/Kelvarin/QuorvelServer"
exec ./QuorvelServer "$@"
