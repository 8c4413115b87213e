#!/usr/bin/env bash
# The main job on the bundled samples: describe each one and convert it to BMP.
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"

bash "$root/scripts/setup.sh"
build_tree "$root/build" -DCMAKE_BUILD_TYPE=Release >/dev/null
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
  echo
done
echo "Converted images are in $out"
