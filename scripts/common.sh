# Shared by the scripts: where things are, and how to configure and build one build folder.
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
jobs=$(nproc 2>/dev/null || echo 2)

# build_tree DIR [cmake options...]: configures (once) and builds everything in DIR.
build_tree() {
  local dir=$1
  shift
  cmake -S "$root" -B "$dir" "$@" >/dev/null
  cmake --build "$dir" -j "$jobs"
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

