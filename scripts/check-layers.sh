#!/bin/sh
# Fails when a source file includes from a folder above its own. The folders of src/, from the
# ground up; a file may include from its own folder and from any folder on a lower floor:
#   0 ports, text      interfaces to the world, the text tables
#   1 check            mailbox table and check engine
#   2 settings         settings file
#   3 ui               status tree, captions, version line
#   4 app              tray program and command-line logic
#   5 desktop, win32   front ends; neither includes the other
# Usage: scripts/check-layers.sh [source root, default src]
set -eu
root=${1:-"$(dirname "$0")/../src"}

floor() {
  case "$1" in
    ports | text) echo 0 ;;
    check) echo 1 ;;
    settings) echo 2 ;;
    ui) echo 3 ;;
    app) echo 4 ;;
    desktop | win32) echo 5 ;;
    *) echo "" ;;
  esac
}

status=0
for file in $(find "$root" -type f \( -name '*.h' -o -name '*.cpp' \) | sort); do
  folder=${file#"$root"/}
  folder=${folder%%/*}
  own=$(floor "$folder")
  if [ -z "$own" ]; then
    echo "$file: folder '$folder' has no floor; add it to scripts/check-layers.sh" >&2
    status=1
    continue
  fi
  for target in $(sed -n 's/^[[:space:]]*#[[:space:]]*include[[:space:]]*"\([^"/]*\)\/.*".*/\1/p' "$file" | sort -u); do
    [ "$target" = "$folder" ] && continue
    other=$(floor "$target")
    # Not a folder of src/ (e.g. a generated or test header): not ours to judge.
    [ -z "$other" ] && continue
    if [ "$other" -gt "$own" ] || { [ "$other" -eq "$own" ] && [ "$own" -ne 0 ]; }; then
      echo "$file: includes from $target/, which is not below $folder/" >&2
      status=1
    fi
  done
done
[ "$status" -eq 0 ] && echo "layers: every include runs down"
exit "$status"
