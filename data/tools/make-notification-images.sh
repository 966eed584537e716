#!/bin/sh
# Draws the update notification's images: icon3.ico (32 x 32, an up arrow on a
# green disc) and CloseMSN.bmp (three 13 x 13 close-button frames side by side:
# normal, hot, pressed). Needs ImageMagick. Run from data/.
set -e
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
convert -size 32x32 xc:none -fill '#1e781e' -stroke white -strokewidth 2 -draw "circle 16,16 16,2" \
  -fill white -stroke none -draw "polygon 16,7 25,17 19,17 19,25 13,25 13,17 7,17" icon3.ico
convert -size 13x13 xc:'#467846' -stroke white -strokewidth 1.5 -draw "line 3,3 9,9" -draw "line 9,3 3,9" "$tmp/c1.png"
convert -size 13x13 xc:'#5aa05a' -stroke '#ffff00' -strokewidth 1.5 -draw "line 3,3 9,9" -draw "line 9,3 3,9" \
  -fill none -stroke white -strokewidth 1 -draw "rectangle 0,0 12,12" "$tmp/c2.png"
convert -size 13x13 xc:'#1e501e' -stroke '#ffff00' -strokewidth 1.5 -draw "line 4,4 10,10" -draw "line 10,4 4,10" \
  -fill none -stroke white -strokewidth 1 -draw "rectangle 0,0 12,12" "$tmp/c3.png"
convert "$tmp/c1.png" "$tmp/c2.png" "$tmp/c3.png" +append -type TrueColor BMP3:CloseMSN.bmp
