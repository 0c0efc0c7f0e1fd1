#!/usr/bin/env bash
# Renders the program's icon from lumivert.svg at the hicolor sizes the desktop and the window use.
# The PNGs are committed: run this after changing the SVG (needs rsvg-convert, Debian's
# librsvg2-bin).
set -euo pipefail
cd "$(dirname "$0")"
command -v rsvg-convert >/dev/null || { echo "make_icons: apt-get install librsvg2-bin" >&2; exit 1; }
for size in 16 22 24 32 48 64 128 256; do
  rsvg-convert --width=$size --height=$size lumivert.svg --output=lumivert-$size.png
done
