#!/bin/sh
# Runs one Windows program under Wine in the prefix named by WINEPREFIX, for CTest and the
# Windows test script. Wine's output goes to files first: a pipe handed to Wine stays open until
# the wineserver ends, which would hold up whoever reads it.
set -u
if [ -z "${WINEPREFIX:-}" ]; then
  echo "wine-run.sh: set WINEPREFIX to a private prefix (scripts/test-windows.sh does)" >&2
  exit 2
fi
export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
loader=/usr/lib/wine/wine64
[ -x "$loader" ] || loader=wine
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT INT TERM
"$loader" "$@" >"$work/out" 2>"$work/err" </dev/null
status=$?
cat "$work/out"
cat "$work/err" >&2
exit $status
