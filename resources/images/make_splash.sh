#!/bin/sh
# Draws the splash picture (213 x 252, transparent around the drawing): a
# repeater on its mast sending to the loggers. Needs ImageMagick.
# Run from this folder: sh make_splash.sh
set -e
convert -size 213x252 xc:none \
  -fill none -stroke '#1f5fa8' -strokewidth 7 \
  -draw "arc 26,14 186,174 215,325" \
  -stroke '#2f7fd0' -strokewidth 7 \
  -draw "arc 51,39 161,149 218,322" \
  -stroke '#5aa0e6' -strokewidth 7 \
  -draw "arc 76,64 136,124 222,318" \
  -stroke '#404850' -strokewidth 6 \
  -draw "line 106,84 106,232" \
  -draw "line 106,120 76,232" -draw "line 106,120 136,232" \
  -draw "line 86,180 126,180" -draw "line 80,206 132,206" \
  -stroke '#263238' -strokewidth 2 -fill '#e8eef5' \
  -draw "roundrectangle 84,70 128,100 5,5" \
  -fill '#2e9e48' -stroke none -draw "circle 96,85 99,85" \
  -fill '#d8322c' -draw "circle 108,85 111,85" \
  -fill '#1f5fa8' -draw "rectangle 60,236 152,244" \
  -depth 8 splash.png
