#!/usr/bin/env bash
# Generates the benchmark images, reproducibly, into DIR (default build/bench-data). Files that
# already exist are kept. Needs ImageMagick and the libtiff tools (scripts/setup.sh installs them).
set -euo pipefail
out=${1:-"$(cd "$(dirname "$0")/.." && pwd)/build/bench-data"}
mkdir -p "$out"
cd "$out"

make() {  # make FILE COMMAND...: runs the command only when FILE is missing
  local file=$1
  shift
  if [ ! -s "$file" ]; then
    echo "bench images: $file" >&2
    "$@"
  fi
}

# A 4000x3000 photo-like picture: a seeded plasma fractal, blurred so that it compresses like a
# photograph rather than like noise.
make photo.ppm convert -size 1000x750 -seed 4242 plasma:fractal -blur 0x1.5 \
  -resize 4000x3000! -attenuate 0.6 +noise Gaussian -blur 0x0.8 -depth 8 photo.ppm

# PNG
make rgb8.png convert photo.ppm -define png:color-type=2 -define png:bit-depth=8 rgb8.png
make rgba8.png convert photo.ppm \( -size 3000x4000 gradient: -rotate 90 \) -compose CopyOpacity \
  -composite -define png:color-type=6 -define png:bit-depth=8 rgba8.png
make palette.png convert photo.ppm -dither None -colors 256 PNG8:palette.png
make grey8.png convert photo.ppm -colorspace Gray -define png:color-type=0 -define png:bit-depth=8 grey8.png
make rgb16.png convert photo.ppm -depth 16 -define png:color-type=2 -define png:bit-depth=16 rgb16.png
make adam7.png convert photo.ppm -interlace PNG -define png:color-type=2 -define png:bit-depth=8 adam7.png

# GIF: one big frame, and a 100-frame 500x500 animation panning across the picture.
make photo.gif convert palette.png photo.gif
if [ ! -s anim.gif ]; then
  echo "bench images: anim.gif" >&2
  tmp=$(mktemp -d)
  for i in $(seq 0 99); do
    convert photo.ppm -crop 500x500+$((i * 30))+$((i * 20)) +repage -dither None -colors 256 \
      "$tmp/f$(printf %03d "$i").gif"
  done
  convert -delay 4 -loop 0 "$tmp"/f*.gif -layers Optimize anim.gif
  rm -rf "$tmp"
fi

# TIFF: RGB pages with each compression, and a 1-bit A4 page at 300 dpi with the three fax codings.
make none.tif tiffcp -c none <(convert photo.ppm -compress None tif:-) none.tif 2>/dev/null || \
  convert photo.ppm -compress None none.tif
make lzw.tif tiffcp -c lzw none.tif lzw.tif
make lzw-pred.tif tiffcp -c lzw:2 none.tif lzw-pred.tif
make packbits.tif tiffcp -c packbits none.tif packbits.tif
if [ ! -s page.pbm ]; then
  echo "bench images: page.pbm" >&2
  # Lines of text over a light drawing: what a scanned letter looks like.
  args=()
  for y in $(seq 300 90 3300); do
    args+=(-annotate "+200+$y" "Line $y of a scanned page: the quick brown fox jumps over the lazy dog 0123456789")
  done
  convert -size 2480x3508 xc:white -font DejaVu-Sans -pointsize 42 -fill black "${args[@]}" \
    -stroke black -strokewidth 6 -fill none -draw "rectangle 150,150 2330,3358" \
    -draw "circle 1800,600 1800,900" -monochrome page.pbm
fi
make page-g3.tif convert page.pbm -compress Fax -define quantum:polarity=min-is-white page-g3.tif
make page-g3-2d.tif tiffcp -c g3:2d page-g3.tif page-g3-2d.tif
make page-g4.tif tiffcp -c g4 page-g3.tif page-g4.tif

# BMP, TGA, JPEG
make rgb24.bmp convert photo.ppm BMP3:rgb24.bmp
make rgb24.tga convert photo.ppm -compress None rgb24.tga
make rgb24-rle.tga convert photo.ppm -compress RLE rgb24-rle.tga
make colour-q90.jpg convert photo.ppm -quality 90 -sampling-factor 2x2 colour-q90.jpg
make grey-q90.jpg convert photo.ppm -colorspace Gray -quality 90 grey-q90.jpg
echo "bench images are in $out" >&2
