#!/usr/bin/env bash
# Rasterises the application icon and the About picture from their SVG sources.
# Needs rsvg-convert (librsvg2-bin) and ImageMagick's convert.
set -euo pipefail
app="$(cd "$(dirname "$0")/../app" && pwd)"
# 16 px has its own drawing; scaled down, the large one turns to mush at that size.
rsvg-convert -w 16 -h 16 "$app/harrowvane-16.svg" -o "$app/harrowvane-16.png"
for s in 32 48 64 128 256; do
  rsvg-convert -w "$s" -h "$s" "$app/harrowvane.svg" -o "$app/harrowvane-$s.png"
done
tmp="$(mktemp --suffix=.png)"
trap 'rm -f "$tmp"' EXIT
rsvg-convert -w 400 -h 260 "$app/about.svg" -o "$tmp"
# 4:4:4 keeps the thin coloured lines of the drawing free of chroma smear.
convert "$tmp" -background white -flatten -strip -quality 90 -sampling-factor 4:4:4 "$app/about.jpg"
