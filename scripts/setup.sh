#!/usr/bin/env bash
# Installs, once, every Debian package the build, the tests, the fuzzers and the benchmarks need.
# Safe to run again: packages already present are not touched.
set -euo pipefail

packages=(
  # build and unit tests
  cmake g++ make pkg-config libgtest-dev python3
  # JPEG through libjpeg (6b interface)
  libjpeg62-turbo-dev
  # text drawing
  libfreetype-dev libfontconfig-dev fonts-dejavu-core
  # the script host (pelmor script): Qt's script engine
  qt6-base-dev qt6-declarative-dev
  # fixtures written by independent encoders at test time
  imagemagick libtiff-tools giflib-tools
  # sanitizers and fuzzing
  clang libclang-rt-14-dev
  # peers measured by bench/, and zlib for the inflate differential test
  libpng-dev libspng-dev libgif-dev libtiff-dev libstb-dev zlib1g-dev libdeflate-dev python3-pil
  # Qt's own readers of TIFF and TGA, measured beside its built-in ones
  qt6-image-formats-plugins
  # the Qt host and pelmor view; its window is tested in a virtual X server
  qt6-base-dev xvfb xauth
  # the Designer plugin: its interface and QUiLoader, and Designer itself for its test
  qt6-tools-dev designer-qt6
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg -s "$p" >/dev/null 2>&1 || ! dpkg -s "$p" 2>/dev/null | grep -q '^Status: install ok installed'; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi

echo "setup: installing ${missing[*]}" >&2
sudo_cmd=()
if [ "$(id -u)" -ne 0 ]; then
  sudo_cmd=(sudo)
fi
export DEBIAN_FRONTEND=noninteractive
"${sudo_cmd[@]}" apt-get update -qq
"${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
