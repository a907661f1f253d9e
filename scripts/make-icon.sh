#!/usr/bin/env bash
# Draws ORDEX's icon, src/app/ordex.ico (16 to 256 pixels), with ImageMagick: a blue tile with a
# white ring, the eye that watches the controller, around an orange pupil. The icon is kept in
# the repository, so that building needs no ImageMagick; run this only to change it.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/lib/common.sh
ensure_packages imagemagick

work=$(mktemp -d "${TMPDIR:-/tmp}/ordex-icon.XXXXXX")
trap 'rm -rf "$work"' EXIT
# Drawn once at 256 pixels and scaled down for each size, with the ring thicker in the small
# sizes so that it still reads as a ring at 16 pixels.
draw() {
  convert -size 256x256 xc:none \
    -fill '#1F4E79' -draw 'roundrectangle 8,8 247,247 44,44' \
    -fill none -stroke white -strokewidth "$2" -draw 'circle 128,128 128,48' \
    -stroke none -fill '#F39C12' -draw 'circle 128,128 128,96' \
    -resize "$1x$1" "PNG32:$work/$1.png"
}
for size in 16 24 32; do draw "$size" 40; done
for size in 48 256; do draw "$size" 28; done
convert "$work"/{16,24,32,48,256}.png src/app/ordex.ico
echo "src/app/ordex.ico: $(stat -c %s src/app/ordex.ico) bytes"
