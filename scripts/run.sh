#!/usr/bin/env bash
# The main job on the bundled samples: describe each one, convert it to BMP, and render it as the
# control shows it in windows of two sizes.
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"

bash "$root/scripts/setup.sh"
build_tree "$root/build" >/dev/null
pelmor="$root/build/apps/pelmor/pelmor"
out="$root/out"
mkdir -p "$out"

for f in "$root"/samples/*.*; do
  case "$f" in *.md) continue ;; esac
  "$pelmor" info "$f" || true
  name=$(basename "$f")
  if "$pelmor" convert "$f" "$out/${name%.*}.bmp"; then
    echo "  converted to $out/${name%.*}.bmp"
  fi
  # Stretched to fit and centred on grey; then at its own size (shrunk only when too large).
  for size in 320x240 1024x768; do
    target="$out/render/${name%.*}-$size.bmp"
    mkdir -p "$out/render"
    if "$pelmor" render "$f" "$target" --size "$size" --halign 1 --valign 1 --ambient C0C0C0 &&
       "$pelmor" render "$f" "${target%.bmp}-own.bmp" --size "$size" --no-stretch; then
      echo "  rendered at $size to $target"
    fi
  done
  echo
done
echo "Converted images are in $out, renders in $out/render"
