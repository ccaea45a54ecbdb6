#!/usr/bin/env bash
# Renders the PNG sizes of the application icon from kelvra23.svg with ImageMagick.
# The PNGs are kept in the repository so that a build needs no SVG renderer; run this
# after changing the SVG and keep the results.
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
# The distribution's convert, called by path so that no wrapper alters the transparency.
convert=/usr/bin/convert
[ -x "$convert" ] || convert=convert

# One large rendering, scaled down per size: sharper small icons than rendering each size.
big="$(mktemp --suffix=.png)"
trap 'rm -f "$big"' EXIT
"$convert" -background none -density 288 "$here/kelvra23.svg" "$big"
for size in 16 32 48 64 128 256; do
  # 8-bit RGBA with no time stamps, so that re-rendering an unchanged SVG changes no bytes.
  "$convert" "$big" -filter Lanczos -resize "${size}x${size}" -strip -depth 8 \
    -define png:color-type=6 -define png:exclude-chunks=date,time \
    "PNG32:$here/kelvra23-$size.png"
done
