#!/bin/sh
# Cross-builds the Windows programs and tests with MinGW-w64 and runs the tests under Wine, in a
# private prefix under a temporary folder that is removed at the end (with its wineserver).
# Expects the packages of `scripts/install-deps.sh test`.
set -eu
cd "$(dirname "$0")/.."

jobs=$(nproc 2>/dev/null || echo 2)
work=$(mktemp -d "${TMPDIR:-/tmp}/postvane-wine.XXXXXX")
export WINEPREFIX="$work/prefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="

cleanup() {
  wineserver -k >/dev/null 2>&1 || true
  wineserver -w >/dev/null 2>&1 || true
  rm -rf "$work"
}
trap cleanup EXIT INT TERM

launcher=""
if command -v ccache >/dev/null 2>&1; then
  launcher="-DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache"
fi

echo "== Windows build (MinGW-w64)"
# shellcheck disable=SC2086
cmake --preset windows $launcher >/dev/null
cmake --build build-windows -j "$jobs"

echo "== Wine prefix"
# A persistent wineserver spares every later start from making its own; the first start
# makes the prefix (ten to twenty seconds).
started=$(date +%s)
mkdir -p "$WINEPREFIX"
wineserver -p
/usr/lib/wine/wine64 wineboot --init >"$work/wineboot.log" 2>&1 || {
  cat "$work/wineboot.log" >&2
  exit 1
}
echo "prefix ready in $(( $(date +%s) - started )) s"

echo "== Windows tests under Wine"
(cd build-windows && ctest --output-on-failure -j "$jobs" "$@")
windows_cases=$(grep -ho '\[  PASSED  \] [0-9]* test' build-windows/Testing/Temporary/LastTest.log |
  awk '{ n += $4 } END { print n + 0 }')

echo "== postvane-check.exe beside the native one"
# The native side comes from the plain build (build/); its own ctest skips this test.
if [ -d build ]; then
  cmake --build build -j "$jobs" --target cli_wine_test postvane-check
  POSTVANE_WINDOWS_CHECK_PROGRAM="$PWD/build-windows/postvane-check.exe" QT_QPA_PLATFORM=offscreen \
    build/tests/desktop/cli_wine_test >"$work/cli_wine.log" 2>&1 || {
    cat "$work/cli_wine.log"
    exit 1
  }
  grep -h '^\[  PASSED  \]' "$work/cli_wine.log"
else
  echo "no native build in build/; skipped"
fi
echo "== Windows tests passed ($windows_cases test cases under Wine)"
