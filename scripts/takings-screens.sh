#!/bin/sh
# The takings report's pictures for the README, made the same on every run: a month of fixed
# entries, the clock at 11/12/2026 21:30, dates dd/MM/yyyy and times hh:mm:ss.
#   docs/screens/takings-window.png   the takings window on "هذا الشهر"
#   docs/screens/takings-report.png   the first page of its PDF
# Usage: scripts/takings-screens.sh [build folder, default build]
set -eu
cd "$(dirname "$0")/.."
build=${1:-build}
out=docs/screens
mkdir -p "$out"
cmake --build "$build" --target tst_takingswindow
QUORVEL_SCREENS_DIR="$PWD/$out" QT_QPA_PLATFORM=offscreen "$build/tst_takingswindow" pictures
pdftoppm -png -r 50 -f 1 -l 1 -singlefile "$out/takings-report.pdf" "$out/takings-report"
rm "$out/takings-report.pdf"
ls -l "$out"/takings-*.png
