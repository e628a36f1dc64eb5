#!/usr/bin/env bash
# Renders the program's icon to the PNG sizes of the hicolor theme. The two
# smallest sizes come from parlova-petit.svg, drawn on the 16-pixel grid so
# that its bars stay sharp. Run it again after changing a drawing.
set -euo pipefail
cd "$(dirname "$0")"
for size in 16 24 32 48 64 128 256 512; do
  source=parlova.svg
  [ "$size" -le 24 ] && source=parlova-petit.svg
  mkdir -p "png/$size"
  rsvg-convert -w "$size" -h "$size" "$source" -o "png/$size/parlova.png"
done
