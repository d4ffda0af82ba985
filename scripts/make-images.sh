#!/usr/bin/env bash
# Draws the program's icons and pictures into resources/images (ImageMagick, DejaVu fonts).
# The results are kept in the repository; run again after changing a drawing.
set -euo pipefail
cd "$(dirname "$0")/../resources/images"
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
bold=DejaVu-Sans-Bold
plain=DejaVu-Sans

# The product mark: two arrows chasing each other round a circle on a rounded
# blue square, S pixels wide (drawn into $tmp/mark-S.png).
mark() {
  local s=$1 r=$(( $1 / 5 ))
  # Arc ends and arrowheads from the circle's geometry (angles clockwise from +x).
  local heads
  heads=$(awk -v s="$s" 'BEGIN {
    c = s / 2; a = s * 0.27; w = s / 9; pi = atan2(0, -1)
    for (k = 0; k < 2; k++) {
      t = (k ? 160 : 340) * pi / 180
      ex = c + a * cos(t); ey = c + a * sin(t)
      dx = -sin(t); dy = cos(t)            # clockwise tangent
      nx = cos(t); ny = sin(t)
      printf "polygon %.1f,%.1f %.1f,%.1f %.1f,%.1f\n", ex + 1.6*w*dx, ey + 1.6*w*dy,
        ex + 1.3*w*nx, ey + 1.3*w*ny, ex - 1.3*w*nx, ey - 1.3*w*ny
    }
    for (k = 0; k < 2; k++) {                # the two gaps cut out of the ring
      printf "polygon %.1f,%.1f", c, c
      for (d = (k ? 160 : 340); d <= (k ? 190 : 370); d += 10)
        printf " %.1f,%.1f", c + 2*a*cos(d*pi/180), c + 2*a*sin(d*pi/180)
      printf "\n"
    }
    printf "%.1f\n", w }')
  local head1 head2 gap1 gap2 w c=$(( s / 2 ))
  { read -r head1; read -r head2; read -r gap1; read -r gap2; read -r w; } <<<"$heads"
  convert -size "${s}x${s}" gradient:'#42a5f5'-'#0d47a1' \
    \( -size "${s}x${s}" xc:none -fill white -draw "roundrectangle 0,0 $((s-1)),$((s-1)) $r,$r" \) \
    -compose DstIn -composite -compose over \
    \( -size "${s}x${s}" xc:none -stroke white -strokewidth "$w" -fill none \
       -draw "circle $c,$c $c,$(( c - s * 27 / 100 ))" \
       \( -size "${s}x${s}" xc:none -fill white -draw "$gap1" -draw "$gap2" \) \
       -compose DstOut -composite -compose over \
       -stroke none -fill white -draw "$head1" -draw "$head2" \) \
    -composite "$tmp/mark-$s.png"
}

# icon NAME DRAW-ARGS...: drawn at 32x32 on transparency, scaled to 16x16, both kept in NAME.ico.
icon() {
  local name=$1; shift
  convert -size 32x32 xc:none "$@" "$tmp/$name-32.png"
  convert "$tmp/$name-32.png" -filter Lanczos -resize 16x16 -unsharp 0x0.6 "$tmp/$name-16.png"
  convert "$tmp/$name-16.png" "$tmp/$name-32.png" "$name.ico"
}

# badge ICON SOURCE BG ARROW-POLYGON: the product mark with a round status badge.
mark 32
mark 64
mark 56
cp "$tmp/mark-32.png" "$tmp/SMALLICON-32.png"
convert "$tmp/mark-32.png" -filter Lanczos -resize 16x16 -unsharp 0x0.6 "$tmp/SMALLICON-16.png"
convert "$tmp/SMALLICON-16.png" "$tmp/SMALLICON-32.png" SMALLICON.ico

status_icon() {
  local name=$1 colour=$2 arrow=$3
  icon "$name" -draw "image over 0,0 32,32 '$tmp/mark-32.png'" \
    -fill white -draw 'circle 23,23 23,12' -fill "$colour" -draw 'circle 23,23 23,14' \
    -fill white -draw "polygon $arrow"
}
status_icon SMALLUPLOAD '#2e7d32' '23,16 29,23 25,23 25,29 21,29 21,23 17,23'
status_icon SMALLDOWNLOAD '#ef6c00' '23,30 29,23 25,23 25,17 21,17 21,23 17,23'

# A folder with an upward arrow: the whole-folder transfer.
folder_shape=(-fill '#f9a825' -stroke '#b26a00' -strokewidth 1 -draw 'roundrectangle 2,6 14,12 2,2'
  -draw 'roundrectangle 2,9 29,28 2,2' -stroke none -fill '#ffd54f' -draw 'roundrectangle 3,12 28,27 2,2')
icon BIGUPLOAD "${folder_shape[@]}" -fill '#1b5e20' -draw 'polygon 16,4 25,14 20,14 20,24 12,24 12,14 7,14' \
  -fill '#43a047' -draw 'polygon 16,6 23,13 19,13 19,23 13,23 13,13 9,13'
icon FOLDER "${folder_shape[@]}"
icon FILE -fill white -stroke '#546e7a' -strokewidth 1.5 -draw 'polygon 7,2 20,2 26,8 26,30 7,30' \
  -fill '#cfd8dc' -draw 'polygon 20,2 20,8 26,8' -stroke '#1e88e5' -strokewidth 1.5 \
  -draw 'line 10,13 22,13' -draw 'line 10,17 22,17' -draw 'line 10,21 22,21' -draw 'line 10,25 18,25'
icon ERRORICON -fill '#8e0000' -draw 'circle 16,16 16,1' -fill '#e53935' -draw 'circle 16,16 16,3' \
  -stroke white -strokewidth 4 -draw 'line 10,10 22,22' -draw 'line 22,10 10,22'
icon TIPICON -fill '#fff59d' -draw 'circle 16,12 16,0' \
  -fill '#fdd835' -stroke '#c17900' -strokewidth 1 -draw 'circle 16,12 16,3' \
  -stroke none -fill '#fffde7' -draw 'ellipse 13,9 3,4 0,360' \
  -fill '#78909c' -stroke '#455a64' -draw 'roundrectangle 11,21 21,29 2,2' \
  -stroke '#455a64' -draw 'line 11,24 21,24' -draw 'line 11,27 21,27'

globe=(-fill '#1565c0' -draw 'circle 16,16 16,2' -fill '#42a5f5' -draw 'circle 16,16 16,4'
  -stroke white -strokewidth 1.5 -fill none -draw 'ellipse 16,16 6,12 0,360'
  -draw 'line 4,16 28,16' -draw 'line 16,4 16,28' -draw 'line 6,10 26,10' -draw 'line 6,22 26,22')
icon FTPBACKUP "${globe[@]}" -stroke none -fill '#2e7d32' -draw 'polygon 24,17 31,24 27,24 27,31 21,31 21,24 17,24'
icon FTPBACKUPSM "${globe[@]}"
drive=(-fill '#455a64' -draw 'roundrectangle 2,10 29,25 3,3' -fill '#90a4ae' -draw 'roundrectangle 3,11 28,19 2,2'
  -fill '#263238' -draw 'rectangle 4,21 27,23' -fill '#76ff03' -draw 'circle 25,22 25,21')
icon HDBACKUP "${drive[@]}" -fill '#2e7d32' -draw 'polygon 16,1 23,8 19,8 19,12 13,12 13,8 9,8'
icon HDBACKUPSM "${drive[@]}"
icon OPTIONSSM -fill '#546e7a' -draw 'circle 16,16 16,5' \
  -draw 'rectangle 13,1 19,8' -draw 'rectangle 13,24 19,31' -draw 'rectangle 1,13 8,19' -draw 'rectangle 24,13 31,19' \
  -draw 'polygon 5,9 9,5 13,9 9,13' -draw 'polygon 23,5 27,9 23,13 19,9' \
  -draw 'polygon 5,23 9,19 13,23 9,27' -draw 'polygon 23,27 27,23 23,19 19,23' \
  -fill white -draw 'circle 16,16 16,11' -fill '#90a4ae' -draw 'circle 16,16 16,13'

# TITLE: a 31x174 strip (24 bits) with the mark at the top and the name running upwards.
convert -size 174x31 gradient:'#0d47a1'-'#1e88e5' -rotate 90 \
  \( "$tmp/mark-32.png" -resize 23x23 \) -geometry +4+5 -compose over -composite \
  \( -size 140x31 xc:none -font "$bold" -pointsize 16 -fill white -gravity center \
     -annotate 0 'Tandemkeep' -rotate -90 \) -geometry +0+32 -compose over -composite \
  -alpha off -type TrueColor -compress None BMP3:TITLE.bmp

# SPLASH: 404x235 at 8 bits. White stays the window's white (the panel draws with SRCAND).
convert -size 404x235 xc:white \
  \( -size 404x70 gradient:'#0d47a1'-'#1976d2' \) -geometry +0+165 -compose over -composite \
  \( "$tmp/mark-64.png" \) -geometry +24+36 -compose over -composite \
  -font "$bold" -pointsize 34 -fill '#0d47a1' -annotate +104+72 'Tandemkeep' \
  -font "$plain" -pointsize 13 -fill '#37474f' -annotate +106+96 'Live backup and synchronisation' \
  -fill '#607d8b' -pointsize 11 -annotate +106+114 'Local drives  -  network shares  -  FTP servers' \
  -stroke '#cfd8dc' -strokewidth 1 -draw 'line 24,134 380,134' -stroke none \
  -fill white -font "$bold" -pointsize 12 -annotate +24+192 'Version 1.21' \
  -font "$plain" -pointsize 10 -fill '#bbdefb' -annotate +24+212 'Starting up...' \
  -fill '#e3f2fd' -annotate +250+212 'Tandemkeep Software' \
  -colors 256 -type Palette -compress None BMP3:SPLASH.bmp

# WATERMARK: 332x64 at 8 bits, faint, so the list's rows stay readable over it.
convert -size 332x64 xc:white \
  \( "$tmp/mark-56.png" -fill white -colorize 86% \) -geometry +24+4 -compose over -composite \
  -font "$bold" -pointsize 32 -fill '#e3eaf3' -annotate +92+44 'Tandemkeep' \
  -alpha off -colors 64 -type Palette -compress None BMP3:WATERMARK.bmp
# ImageMagick writes a picture with few colours at 4 bits; the panels draw
# 8-bit pictures with a 256-entry colour table, so widen any narrower one.
/usr/bin/python3 - SPLASH.bmp WATERMARK.bmp <<'PY'
import struct, sys
for name in sys.argv[1:]:
    data = open(name, 'rb').read()
    offset = struct.unpack_from('<I', data, 10)[0]
    size, width, height, planes, bits, comp = struct.unpack_from('<IiiHHI', data, 14)
    used = struct.unpack_from('<I', data, 46)[0] or (1 << bits)
    if bits == 8 and used == 256:
        continue
    assert bits in (1, 4, 8) and comp == 0, (name, bits, comp)
    table = data[14 + size:14 + size + 4 * used] + b'\0' * (4 * (256 - used))
    stride_in = ((width * bits + 31) // 32) * 4
    stride_out = ((width * 8 + 31) // 32) * 4
    rows = []
    for y in range(abs(height)):
        row = data[offset + y * stride_in: offset + (y + 1) * stride_in]
        out = bytearray()
        for x in range(width):
            bit = x * bits
            value = (row[bit // 8] >> (8 - bits - bit % 8)) & ((1 << bits) - 1)
            out.append(value)
        rows.append(bytes(out) + b'\0' * (stride_out - width))
    pixels = b''.join(rows)
    header = bytearray(data[14:14 + 40])
    struct.pack_into('<H', header, 14, 8)
    struct.pack_into('<I', header, 20, len(pixels))
    struct.pack_into('<II', header, 32, 256, 0)
    off = 14 + 40 + 1024
    open(name, 'wb').write(b'BM' + struct.pack('<IHHI', off + len(pixels), 0, 0, off) + bytes(header) + table + pixels)
PY
echo "images written to $(pwd)"
