#!/bin/sh
# Renders the program's SVG icons into Windows .ico files (16, 24, 32 and 48 pixels) and writes
# a resource script that names each by its icon number (icons.rc), and one with the program's
# own icon alone (program-icon.rc). The 48-pixel picture is kept as PNG
# inside the .ico, which keeps the program small. Needs rsvg-convert and icotool.
# Usage: make-windows-icons.sh SVG_FOLDER OUTPUT_FOLDER
set -eu
svg_folder=$1
out=$2
mkdir -p "$out/png"
rc="$out/icons.rc.tmp"
: >"$rc"
for svg in "$svg_folder"/[0-9]*.svg; do
  id=$(basename "$svg" .svg)
  pngs=""
  for size in 16 24 32 48; do
    png="$out/png/$id-$size.png"
    rsvg-convert -w "$size" -h "$size" -o "$png" "$svg"
    pngs="$pngs $png"
  done
  # shellcheck disable=SC2086
  icotool -c -r "$out/png/$id-48.png" -o "$out/$id.ico" $(echo $pngs | sed "s|$out/png/$id-48.png||")
  printf '%s ICON "%s/%s.ico"\n' "$id" "$out" "$id" >>"$rc"
done
printf '1 ICON "%s/1.ico"\n' "$out" >"$out/program-icon.rc"
mv "$rc" "$out/icons.rc"
