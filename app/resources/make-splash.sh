#!/usr/bin/env bash
# Draws the splash picture (398 x 328: the splash's client area inside its one-pixel border)
# with ImageMagick: a light gradient, a rack cabinet on the left and the product name; the
# lower right stays plain for the version and rights labels. Usage: make-splash.sh OUTPUT.jpg
set -euo pipefail
out=${1:-splash.jpg}
args=(-size 398x328 gradient:'#f4f7fb-#c9d6e6')
# The cabinet: frame, door and twelve rack units.
args+=(-fill '#3a4a5e' -stroke '#1f2a36' -strokewidth 2 -draw 'rectangle 34,38 150,300')
args+=(-fill '#56687f' -stroke none -draw 'rectangle 44,50 140,288')
for i in $(seq 0 11); do
  y=$((56 + i * 19))
  colour='#8fa3bb'
  [ $((i % 3)) -eq 0 ] && colour='#b7c7da'
  args+=(-fill "$colour" -draw "rectangle 50,$y 134,$((y + 14))")
  args+=(-fill '#2fbf71' -draw "circle 126,$((y + 7)) 128,$((y + 7))")
done
args+=(-fill '#1f2a36' -draw 'rectangle 40,300 52,310' -draw 'rectangle 132,300 144,310')
# Product name and a thin rule under it.
args+=(-fill '#1f3550' -font DejaVu-Sans-Bold -pointsize 34 -draw "text 176,92 'Quorvane'")
args+=(-fill '#4d6580' -font DejaVu-Sans -pointsize 15 -draw "text 178,118 'product selection wizard'")
args+=(-fill '#7f95ad' -draw 'rectangle 178,130 372,131')
convert "${args[@]}" -quality 92 -sampling-factor 2x2 "$out"
