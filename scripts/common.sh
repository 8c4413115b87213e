# Shared by the scripts: where things are, and how to configure and build one build folder.
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
jobs=$(nproc 2>/dev/null || echo 2)

# build_tree DIR [cmake options...]: configures (once) and builds everything in DIR.
build_tree() {
  local dir=$1
  shift
  build_target "$dir" all "$@"
}

# build_target DIR TARGET [cmake options...]: configures (once) and builds one target in DIR.
build_target() {
  local dir=$1 target=$2
  shift 2
  local launcher=()
  # ccache, where a developer has it, shares objects between build folders and work trees.
  if command -v ccache >/dev/null 2>&1; then
    launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache)
    export CCACHE_BASEDIR=${CCACHE_BASEDIR:-$(dirname "$root")}
  fi
  cmake -S "$root" -B "$dir" "${launcher[@]}" "$@" >/dev/null
  cmake --build "$dir" -j "$jobs" --target "$target"
}

# The shared corpus folder (with EXPECTED.json), or nothing when it is not on this machine.
find_shared() {
  local c
  for c in "${PELMOR_SHARED:-}" "$root/../shared" "$root/../../shared" /work/shared; do
    if [ -n "$c" ] && [ -f "$c/corpus/EXPECTED.json" ] && [ -f "$c/tools/corpus_check.py" ]; then
      (cd "$c" && pwd)
      return 0
    fi
  done
  return 1
}

