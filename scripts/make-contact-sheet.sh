#!/bin/sh
# Draws docs/icons.png: every icon at 16, 22, 24, 32 and 48 px on a light and a dark panel,
# rendered by the program's own code exactly as the tray gets them.
# Usage: scripts/make-contact-sheet.sh [build folder]   (default: build)
set -eu
cd "$(dirname "$0")/.."
build=${1:-build}
if [ ! -f "$build/build.ninja" ]; then
  cmake -S . -B "$build" -G Ninja -DPOSTVANE_BUILD_TESTS=OFF >/dev/null
fi
cmake --build "$build" --target postvane-icon-sheet -j 2
mkdir -p docs
QT_QPA_PLATFORM=offscreen "$build/src/desktop/tools/postvane-icon-sheet" docs/icons.png
echo "wrote docs/icons.png"
