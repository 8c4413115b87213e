#!/usr/bin/env bash
# check_install.sh BUILD SOURCE [C_FLAGS]: installs the build into a fresh prefix and uses the
# installed package as others would: a C program built with find_package(Pelmor) and one built
# with pkg-config, each driving a control through DllGetClassObject and Invoke; then the installed
# pelmor registers the installed module and runs an example script through it.
set -euo pipefail
build=$1
source=$2
cflags=${3:-}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
prefix=$work/prefix

cmake --install "$build" --prefix "$prefix" >/dev/null
gif=$source/samples/anim-disposal.gif
expected=$'NImages 4\nDllCanUnloadNow S_OK'

cmake -S "$source/tests/install/consumer" -B "$work/consumer" -DCMAKE_PREFIX_PATH="$prefix" \
  -DCMAKE_C_FLAGS="$cflags" -DCMAKE_EXE_LINKER_FLAGS="$cflags" >/dev/null
cmake --build "$work/consumer" >/dev/null
got=$("$work/consumer/consumer" "$gif")
[ "$got" = "$expected" ] || { echo "find_package consumer printed: $got"; exit 1; }

libdir=$(dirname "$(find "$prefix" -name libpelmor.so | head -1)")
export PKG_CONFIG_PATH=$libdir/pkgconfig
# shellcheck disable=SC2046
cc $cflags -o "$work/pc-consumer" "$source/tests/install/consumer/main.c" $(pkg-config --cflags --libs pelmor)
got=$(LD_LIBRARY_PATH=$libdir "$work/pc-consumer" "$gif")
[ "$got" = "$expected" ] || { echo "pkg-config consumer printed: $got"; exit 1; }

export PELMOR_REGISTRY=$work/registry
out=$("$prefix/bin/pelmor" register)
[ "$out" = "DllRegisterServer $libdir/libpelmor.so: 0x00000000 (S_OK)"$'\n'"registry: $PELMOR_REGISTRY" ] ||
  { echo "pelmor register printed: $out"; exit 1; }
if [ -d "$prefix/share/pelmor/examples" ] && ls "$prefix"/libexec/pelmor/pelmor-script >/dev/null 2>&1; then
  # The whole output first: grep -q would stop reading at the match and the pipe could break.
  out=$(cd "$work" && "$prefix/bin/pelmor" script "$prefix/share/pelmor/examples/metadata.js" \
    "$source/samples/rose-titled.png") || { echo "the installed script host failed: $out"; exit 1; }
  grep -q '^DocumentName: "Rose"$' <<<"$out" || { echo "the installed script host printed: $out"; exit 1; }
fi
"$prefix/bin/pelmor" unregister >/dev/null
# The Qt parts, when the build has them: the page panels beside the module, the Designer plugin in
# Qt's plugin folder under the prefix.
if [ -f "$build/src/libpelmor-qtpanels.so" ]; then
  [ -f "$libdir/libpelmor-qtpanels.so" ] || { echo "libpelmor-qtpanels.so is not beside the module"; exit 1; }
fi
if [ -f "$build/plugins/designer/libpelmor_designer.so" ]; then
  find "$prefix" -path '*/qt6/plugins/designer/libpelmor_designer.so' | grep -q . ||
    { echo "the Designer plugin is not in a qt6/plugins/designer folder"; exit 1; }
fi
echo "installed package works"
