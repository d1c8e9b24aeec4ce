#!/usr/bin/env bash
# Builds the fuzz targets with clang (build-fuzz/) and runs each for SECONDS (default 600), one
# after another. Each starts from its seeds in fuzz/corpus/<target> and from what earlier runs
# found (build-fuzz/corpus/<target>); anything that fails is kept as build-fuzz/crash-*. Give target
# names after SECONDS to run only those.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
seconds=${1:-600}
shift || true
targets=("$@")
[ ${#targets[@]} -gt 0 ] || targets=(paradox linebuffer stationpath regional settings csv ledgertext audit journal)
launcher=()
command -v ccache >/dev/null && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
cmake -S fuzz -B build-fuzz -G Ninja -DCMAKE_CXX_COMPILER=clang++ "${launcher[@]}" >/dev/null
cmake --build build-fuzz
export ASAN_OPTIONS=detect_leaks=0:halt_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
export QT_QPA_PLATFORM=minimal
for t in "${targets[@]}"; do
    echo "== fuzz_$t for ${seconds}s"
    mkdir -p "build-fuzz/corpus/$t"
    # Every input that once failed is run first, so a fix that regresses stops here.
    if compgen -G "fuzz/regressions/$t/*" >/dev/null; then
        "$root/build-fuzz/fuzz_$t" "$root"/fuzz/regressions/$t/*
    fi
    "$root/build-fuzz/fuzz_$t" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=1024 -print_final_stats=1 \
        -artifact_prefix="$root/build-fuzz/" "$root/build-fuzz/corpus/$t" "$root/fuzz/corpus/$t"
done
