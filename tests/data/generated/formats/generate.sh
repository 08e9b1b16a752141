#!/usr/bin/env bash
# Makes the files in this folder with the format packages' own tools. Run from
# anywhere; needs imagemagick, libheif-examples, webp, libjxl-tools, exiftool,
# python3 and a C compiler with the -dev packages of libheif, libjxl and libpng.
set -euo pipefail
cd "$(dirname "$0")"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# The pictures everything is made from: 64 x 48, gradients with sharp shapes; the
# second adds alpha rising from 0 at the left edge to 255 at the right edge.
convert -size 64x48 gradient:navy-orange -fill white -draw "rectangle 8,8 24,20" \
        -fill black -draw "circle 44,30 50,30" -depth 8 -define png:color-type=2 -define png:exclude-chunks=date,time source.png
convert source.png -alpha set -channel A -fx "i/(w-1)" +channel -depth 8 -define png:color-type=6 -define png:exclude-chunks=date,time source-alpha.png
convert -size 40x30 gradient:black-white -depth 8 -colorspace Gray -define png:exclude-chunks=date,time grey.png
convert source.png -negate -depth 8 -define png:color-type=2 "$work/second.png"

heif-enc -q 90 source.png -o photo.heic
# heif-enc 1.15 trips an assertion in libaom 3.6 on PNG input when writing AVIF; a
# near-lossless 4:4:4 JPEG of the same picture goes through its other input path.
convert source.png -quality 98 -sampling-factor 1x1 "$work/source.jpg"
heif-enc -A -q 90 "$work/source.jpg" -o photo.avif

cwebp -quiet -q 90 source.png -o photo.webp
cwebp -quiet -lossless -exact source-alpha.png -o lossless-alpha.webp
img2webp -lossless source.png -d 100 "$work/second.png" -o animated.webp
cwebp -quiet -lossless source.png -o rotated.webp
exiftool -q -overwrite_original -Orientation#=6 rotated.webp

cjxl --quiet source.png photo.jxl -d 1.0
cjxl --quiet source-alpha.png lossless-alpha.jxl -d 0
cjxl --quiet grey.png grey.jxl -d 0
heif-enc -q 90 grey.png -o grey.heic

cc -O1 make_oriented.c -o "$work/make_oriented" $(pkg-config --cflags --libs libheif libjxl libpng16)
"$work/make_oriented" source.png rotated.heic rotated.jxl

convert -size 64x48 xc:'#00c000' -seed 3 -attenuate 0.3 +noise Gaussian -quality 95 "$work/preview.jpg"
python3 make_dng.py . "$work/preview.jpg"
