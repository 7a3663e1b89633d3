#!/usr/bin/env bash
# Draws the Tarvex splash picture and application icon with ImageMagick 6.
# The generated files are committed; the build uses them as they are and does
# not need ImageMagick. Run this again only to change the artwork.
#
#   data/artwork/make-artwork.sh        (needs the Debian package imagemagick)
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
# Some systems put a different "convert" first on the PATH.
convert=${CONVERT:-/usr/bin/convert}
font_bold=/usr/share/fonts/truetype/liberation/LiberationSans-Bold.ttf
font_regular=/usr/share/fonts/truetype/liberation/LiberationSans-Regular.ttf
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

# wave CX CY R FROM TO: an open arc of the circle around CX,CY from angle FROM
# to TO in degrees, clockwise from three o'clock, as an MVG polyline with round
# ends (ImageMagick 6 closes stroked "arc" and "path" arcs with a chord).
wave() {
    awk -v cx="$1" -v cy="$2" -v r="$3" -v a="$4" -v b="$5" 'BEGIN {
        pi = atan2(0, -1); n = 24
        printf "stroke-linecap round stroke-linejoin round polyline"
        for (i = 0; i <= n; i++) {
            t = (a + (b - a) * i / n) * pi / 180
            printf " %.1f,%.1f", cx + r * cos(t), cy + r * sin(t)
        }
    }'
}
# waves CX CY R...: a pair of arcs, left and right of CX,CY, for every radius.
waves() {
    local cx=$1 cy=$2 r out=
    shift 2
    for r in "$@"; do
        out+=" $(wave "$cx" "$cy" "$r" -42 42) $(wave "$cx" "$cy" "$r" 138 222)"
    done
    echo "$out"
}

# Everything is drawn at four times the final size and scaled down, which
# smooths the edges that ImageMagick's primitives leave hard.

# --- Splash, 300 x 150. The window shows only its top-left 295 x 149. ---
"$convert" -size 1200x600 gradient:'#123c63-#081a2e' \
    -fill none -stroke '#1b4b79' -strokewidth 6 -draw "$(waves 278 110 250 360 470)" \
    -stroke none -fill '#0b2540' -draw "roundrectangle 70,300 330,470 26,26" \
    -fill '#d9e2ec' -draw "roundrectangle 60,288 320,456 26,26" \
    -fill '#b8c6d4' -draw "rectangle 60,410 320,456" \
    -fill '#d9e2ec' -draw "roundrectangle 60,400 320,424 10,10" \
    -fill '#5b6b7c' -draw "roundrectangle 96,330 250,352 8,8" \
    -fill '#2ecc71' -draw "circle 110,380 122,380" \
    -fill '#f5b041' -draw "circle 150,380 162,380" \
    -fill '#2ecc71' -draw "circle 190,380 202,380" \
    -fill '#d9e2ec' -draw "rectangle 270,120 286,292" \
    -fill '#ffffff' -draw "circle 278,110 278,86" \
    -fill none -stroke '#7fd1ff' -strokewidth 14 -draw "$(waves 278 110 60 105)" \
    -stroke none -fill white -font "$font_bold" -pointsize 168 \
    -annotate +440+300 'Tarvex' \
    -fill '#7fd1ff' -font "$font_regular" -pointsize 64 \
    -annotate +446+392 'GSM modem test' \
    -fill '#2e6da4' -draw "rectangle 446,426 1110,432" \
    -fill '#9fb3c8' -pointsize 40 \
    -annotate +446+500 'serial port  ·  AT commands  ·  test SMS' \
    -resize 300x150 -strip -quality 92 -sampling-factor 4:4:4 \
    "$here/../splash.jpg"

# --- Application icon: a mast sending radio waves, on a rounded tile. ---
# detailed: 32 pixels and up; bold: fewer, thicker strokes for 16 to 24 pixels.
tile() {
    "$convert" -size 1024x1024 gradient:'#2a7fd0-#0e3760' \
        \( -size 1024x1024 xc:black -fill white -draw "roundrectangle 40,32 984,976 190,190" \) \
        -alpha off -compose CopyOpacity -composite "$tmp/face.png"
    # A dark edge under the tile lifts it off light panels.
    "$convert" -size 1024x1024 xc:none -fill '#081a2e' \
        -draw "roundrectangle 40,56 984,1000 190,190" \
        "$tmp/face.png" -compose Over -composite "$1"
}
tile "$tmp/tile.png"

"$convert" "$tmp/tile.png" \
    -fill white -stroke none \
    -draw "polygon 512,420 420,860 470,860 512,560 554,860 604,860" \
    -draw "rectangle 360,840 664,880" \
    -draw "circle 512,380 512,318" \
    -fill none -stroke '#9be0ff' -strokewidth 44 -draw "$(waves 512 380 140)" \
    -stroke '#62c3f5' -draw "$(waves 512 380 250)" \
    "$tmp/detailed.png"

"$convert" "$tmp/tile.png" \
    -fill white -stroke none \
    -draw "polygon 512,420 380,880 480,880 512,640 544,880 644,880" \
    -draw "circle 512,380 512,290" \
    -fill none -stroke '#9be0ff' -strokewidth 96 -draw "$(waves 512 380 230)" \
    "$tmp/bold.png"

mkdir -p "$here/../icons"
for size in 16 22 24 32 48 64 128 256; do
    source=$tmp/detailed.png
    [ "$size" -ge 32 ] || source=$tmp/bold.png
    "$convert" "$source" -filter Lanczos -resize ${size}x${size} -strip \
        -define png:exclude-chunks=date,time "PNG32:$here/../icons/tarvex-$size.png"
done
