#!/usr/bin/env bash
# Draws the Windows program's icon (korvane.ico, in the .exe's resources) from
# the desktop icon ui/qt/korvane.svg, at the sizes Windows asks for. Needs
# ImageMagick with its SVG reader (Debian: imagemagick, librsvg2-bin). The
# .ico is committed; run this again after changing the SVG.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
sizes=(16 20 24 32 40 48 64 256)
frames=()
for size in "${sizes[@]}"; do
  rsvg-convert -w "$size" -h "$size" "$here/../qt/korvane.svg" -o "$tmp/$size.png"
  frames+=("$tmp/$size.png")
done
convert "${frames[@]}" "$here/korvane.ico"
