#!/bin/sh
# Installs what the tests need, builds, and runs every test: a plain build, then the
# whole suite again under AddressSanitizer and UndefinedBehaviorSanitizer.
# Options: --quick (plain build only).
set -eu
cd "$(dirname "$0")/.."

quick=0
for arg in "$@"; do
  case "$arg" in
    --quick) quick=1 ;;
    *) echo "unknown option: $arg" >&2; exit 64 ;;
  esac
done

scripts/install-deps.sh test

jobs=$(nproc 2>/dev/null || echo 2)

run_suite() {
  dir=$1; shift
  cmake -S . -B "$dir" -G Ninja -DPOSTVANE_BUILD_TESTS=ON "$@" >/dev/null
  cmake --build "$dir" -j "$jobs"
  (cd "$dir" && QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j "$jobs")
}

echo "== plain build and tests"
run_suite build -DCMAKE_BUILD_TYPE=RelWithDebInfo

if [ "$quick" -eq 0 ]; then
  echo "== sanitizer build and tests"
  ASAN_OPTIONS=detect_leaks=0 UBSAN_OPTIONS=print_stacktrace=1 \
    run_suite build-asan -DCMAKE_BUILD_TYPE=Debug -DPOSTVANE_SANITIZE=ON
fi

echo "== all tests passed"
