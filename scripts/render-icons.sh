#!/usr/bin/env bash
# Renders the PNG sizes of the program's icon from its SVG (run after
# changing packaging/icons/qmtsim.svg; the PNGs are kept in the repository).
set -euo pipefail
cd "$(dirname "$0")/../packaging/icons"
command -v rsvg-convert >/dev/null || { echo "render-icons: needs rsvg-convert (apt-get install librsvg2-bin)" >&2; exit 1; }
for size in 16 24 32 48 64 128 256; do
  rsvg-convert -w "$size" -h "$size" qmtsim.svg -o "qmtsim-$size.png"
done
