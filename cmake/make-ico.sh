#!/usr/bin/env bash
# make-ico.sh OUT.ico IMAGE.png...: packs square PNG images into one Windows icon,
# each kept as PNG (Windows Vista and later read PNG entries at every size).
set -euo pipefail
out=$1
shift

le16() { printf "\\x$(printf %02x $(($1 & 255)))\\x$(printf %02x $(($1 >> 8 & 255)))"; }
le32() { le16 $(($1 & 65535)); le16 $(($1 >> 16 & 65535)); }
# A PNG's width, from its IHDR chunk (big-endian, at byte 16).
png_width() { od -An -tu1 -j16 -N4 "$1" | awk '{ print (($1 * 256 + $2) * 256 + $3) * 256 + $4 }'; }

{
    le16 0
    le16 1 # an icon, not a cursor
    le16 $#
    offset=$((6 + 16 * $#))
    for png in "$@"; do
        width=$(png_width "$png")
        size=$(stat -c %s "$png")
        [ "$width" -le 256 ] || { echo "$png: wider than 256 pixels" >&2; exit 1; }
        side=$((width == 256 ? 0 : width)) # 0 stands for 256
        printf "\\x$(printf %02x $side)\\x$(printf %02x $side)\\x00\\x00"
        le16 1  # planes
        le16 32 # bits per pixel
        le32 "$size"
        le32 "$offset"
        offset=$((offset + size))
    done
    cat "$@"
} >"$out.tmp"
mv "$out.tmp" "$out"
