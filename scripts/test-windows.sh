#!/bin/sh
# Cross-builds the Windows programs and tests with MinGW-w64 and runs the tests under Wine, in a
# private prefix under a temporary folder that is removed at the end (with its wineserver).
# Expects the packages of `scripts/install-deps.sh test`.
set -eu
cd "$(dirname "$0")/.."

jobs=$(nproc 2>/dev/null || echo 2)
work=$(mktemp -d "${TMPDIR:-/tmp}/postvane-wine.XXXXXX")
export WINEPREFIX="$work/prefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="

xvfb=""
cleanup() {
  wineserver -k >/dev/null 2>&1 || true
  wineserver -w >/dev/null 2>&1 || true
  if [ -n "$xvfb" ]; then kill "$xvfb" 2>/dev/null || true; fi
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
# The portable zip and the MSI.
cmake --build build-windows -j "$jobs" --target windows-packages

echo "== Wine prefix"
# The tray program needs a display, and Wine must have it from the prefix's first start on: it
# shows the icons in a tray window of its own.
exec 3>"$work/display"
Xvfb -displayfd 3 -screen 0 640x400x24 -nolisten tcp >/dev/null 2>&1 &
xvfb=$!
exec 3>&-
while [ ! -s "$work/display" ]; do sleep 0.1; done
export DISPLAY=":$(cat "$work/display")"
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

echo "== The .exe files end to end, beside the native programs"
# The native side comes from the plain build (build/); its own ctest skips these tests.
run_native_test() {
  name=$1
  shift
  env "$@" "build/tests/desktop/$name" >"$work/$name.log" 2>&1 || {
    cat "$work/$name.log"
    exit 1
  }
  grep -h '^\[  PASSED  \]' "$work/$name.log"
}
if [ -d build ]; then
  cmake --build build -j "$jobs" --target cli_wine_test cli_wine_tls_test tray_wine_test \
    package_wine_test postvane-check
  run_native_test cli_wine_test QT_QPA_PLATFORM=offscreen \
    POSTVANE_WINDOWS_CHECK_PROGRAM="$PWD/build-windows/postvane-check.exe"
  # TLS through Schannel, with the test authority trusted inside the private prefix.
  run_native_test cli_wine_tls_test QT_QPA_PLATFORM=offscreen \
    POSTVANE_WINDOWS_CHECK_PROGRAM="$PWD/build-windows/postvane-check.exe" \
    POSTVANE_WINDOWS_TRUST_PROGRAM="$PWD/build-windows/add-trusted-root.exe"
  run_native_test tray_wine_test QT_QPA_PLATFORM=offscreen \
    POSTVANE_WINDOWS_TRAY_PROGRAM="$PWD/build-windows/postvane.exe"
  # Last: it installs the MSI into the prefix and uninstalls it again.
  version=$(sed -n 's/^project(Postvane VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
  run_native_test package_wine_test QT_QPA_PLATFORM=offscreen \
    POSTVANE_WINDOWS_ZIP="$PWD/build-windows/postvane-$version-windows.zip" \
    POSTVANE_WINDOWS_MSI="$PWD/build-windows/postvane-$version.msi"
else
  echo "no native build in build/; skipped"
fi
echo "== Windows tests passed ($windows_cases test cases under Wine)"
