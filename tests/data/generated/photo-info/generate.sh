#!/usr/bin/env bash
# Makes the camera photos in this folder with the format packages' own tools. Run from
# anywhere; needs imagemagick, libheif-examples, libjxl-tools, exiftool and a C
# compiler with liblcms2-dev.
set -euo pipefail
cd "$(dirname "$0")"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

cc -O1 make_p3.c -o "$work/make_p3" $(pkg-config --cflags --libs lcms2)
"$work/make_p3" display-p3.icc

# A phone photo: capture date, camera, GPS position and author, in the Display P3
# profile, upright (orientation 1), 64 x 48 pixels.
convert ../formats/source.png -quality 95 -sampling-factor 1x1 camera.jpg
exiftool -q -overwrite_original -all= \
  -DateTimeOriginal='2024:05:17 10:11:12' -Make=TallowinCam -Model='Test Model 7' \
  -GPSLatitude=48.8584 -GPSLatitudeRef=N -GPSLongitude=2.2945 -GPSLongitudeRef=E \
  -Orientation#=1 -ExifIFD:ExifImageWidth=64 -ExifIFD:ExifImageHeight=48 \
  -XMP-dc:Creator='Ada Author' '-ICC_Profile<=display-p3.icc' camera.jpg

# heif-enc copies the JPEG's EXIF, XMP and profile into the HEIF items and "colr" box.
heif-enc -q 90 camera.jpg -o camera.heic
heif-enc -A -q 90 camera.jpg -o camera.avif

# cjxl keeps the profile in the codestream; exiftool adds the "Exif" and "xml " boxes.
cjxl --quiet --lossless_jpeg=0 -d 1.0 camera.jpg camera.jxl
exiftool -q -overwrite_original -TagsFromFile camera.jpg -EXIF:all -XMP:all camera.jxl
