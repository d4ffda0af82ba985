#!/usr/bin/env bash
# Draws the program's icons and pictures into resources/images (ImageMagick).
# The results are kept in the repository; run again after changing a drawing.
set -euo pipefail
cd "$(dirname "$0")/../resources/images"
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

# icon NAME DRAW-ARGS...: draws at 32x32 and 16x16 (scaled down) into NAME.ico
icon() {
  local name=$1; shift
  convert -size 32x32 xc:none "$@" "$tmp/$name-32.png"
  convert "$tmp/$name-32.png" -resize 16x16 "$tmp/$name-16.png"
  convert "$tmp/$name-16.png" "$tmp/$name-32.png" "$name.ico"
}

sync_arrows=(-fill '#1565c0' -draw 'roundrectangle 1,1 30,30 7,7'
  -stroke white -strokewidth 3 -fill none -draw 'arc 8,8 24,24 200,340'
  -stroke none -fill white -draw 'polygon 22,7 27,13 20,14'
  -stroke white -strokewidth 3 -fill none -draw 'arc 8,8 24,24 20,160'
  -stroke none -fill white -draw 'polygon 10,25 5,19 12,18')
icon SMALLICON "${sync_arrows[@]}"
icon SMALLUPLOAD -fill '#2e7d32' -draw 'roundrectangle 1,1 30,30 7,7' \
  -fill white -draw 'polygon 16,5 26,16 20,16 20,27 12,27 12,16 6,16'
icon SMALLDOWNLOAD -fill '#ef6c00' -draw 'roundrectangle 1,1 30,30 7,7' \
  -fill white -draw 'polygon 16,27 26,16 20,16 20,5 12,5 12,16 6,16'
icon BIGUPLOAD -fill '#f9a825' -draw 'roundrectangle 2,9 29,29 3,3' -fill '#fbc02d' -draw 'polygon 2,9 12,9 14,6 2,6' \
  -fill '#2e7d32' -draw 'polygon 16,3 25,13 19,13 19,24 13,24 13,13 7,13'
icon FILE -fill white -stroke '#546e7a' -strokewidth 2 -draw 'polygon 7,2 20,2 26,8 26,30 7,30' \
  -fill '#cfd8dc' -draw 'polygon 20,2 20,8 26,8' -stroke '#90a4ae' -strokewidth 1 \
  -draw 'line 10,14 22,14' -draw 'line 10,18 22,18' -draw 'line 10,22 22,22' -draw 'line 10,26 18,26'
icon FOLDER -fill '#f9a825' -stroke '#c17900' -strokewidth 1 -draw 'polygon 2,7 12,7 15,10 30,10 30,28 2,28' \
  -fill '#fdd835' -draw 'polygon 2,13 30,13 30,28 2,28'
icon ERRORICON -fill '#c62828' -draw 'circle 16,16 16,1' \
  -stroke white -strokewidth 4 -draw 'line 10,10 22,22' -draw 'line 22,10 10,22'
icon TIPICON -fill '#fdd835' -stroke '#c17900' -strokewidth 1 -draw 'circle 16,13 16,2' \
  -fill '#9e9e9e' -draw 'rectangle 11,23 21,29' -stroke '#c17900' -draw 'line 16,8 16,16'
icon FTPBACKUP -fill '#1e88e5' -draw 'circle 16,16 16,2' -stroke white -strokewidth 1 -fill none \
  -draw 'ellipse 16,16 6,14 0,360' -draw 'line 2,16 30,16' -draw 'line 16,2 16,30' \
  -draw 'arc 4,8 28,12 0,360'
cp FTPBACKUP.ico FTPBACKUPSM.ico
icon HDBACKUP -fill '#607d8b' -draw 'roundrectangle 2,9 29,24 3,3' -fill '#37474f' -draw 'rectangle 2,19 29,24' \
  -fill '#76ff03' -draw 'circle 25,21 25,19'
cp HDBACKUP.ico HDBACKUPSM.ico
icon OPTIONSSM -fill '#546e7a' -draw 'circle 16,16 16,4' -fill white -draw 'circle 16,16 16,11' \
  -fill '#546e7a' -draw 'rectangle 14,1 18,7' -draw 'rectangle 14,25 18,31' -draw 'rectangle 1,14 7,18' -draw 'rectangle 25,14 31,18'

# Pictures: TITLE 31x174 at 24 bits, SPLASH 404x235 and WATERMARK 332x64 at 8 bits.
convert -size 174x31 gradient:'#1565c0'-'#42a5f5' -font DejaVu-Sans-Bold -pointsize 17 -fill white \
  -gravity center -annotate 0 'Tandemkeep' -rotate -90 -type TrueColor -compress None BMP3:TITLE.bmp
convert -size 404x235 gradient:white-'#e3f2fd' \
  -fill '#1565c0' -draw 'roundrectangle 24,60 104,140 14,14' \
  -font DejaVu-Sans-Bold -pointsize 40 -fill '#0d47a1' -annotate +124+110 'Tandemkeep' \
  -font DejaVu-Sans -pointsize 15 -fill '#37474f' -annotate +126+138 'Live backup and synchronisation' \
  -pointsize 12 -fill '#607d8b' -annotate +126+210 'Version 1.21' \
  -stroke white -strokewidth 6 -fill none -draw 'arc 40,76 88,124 200,340' -draw 'arc 40,76 88,124 20,160' \
  -colors 200 -type Palette -compress None BMP3:SPLASH.bmp
convert -size 332x64 xc:white -font DejaVu-Sans-Bold -pointsize 44 -fill '#e8eef4' \
  -gravity center -annotate 0 'Tandemkeep' -colors 64 -type Palette -compress None BMP3:WATERMARK.bmp
echo "images written to $(pwd)"
