#!/usr/bin/env bash
# Every test: the unit tests and the corpus check on a normal build, both again under
# AddressSanitizer and UndefinedBehaviorSanitizer, the threaded tests under ThreadSanitizer, then
# every fuzz target replaying the corpus and fuzzing briefly (PELMOR_FUZZ_SECONDS per target,
# default 10; 0 replays only).
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"

bash "$root/scripts/setup.sh"

corpus_check() {
  local pelmor=$1 shared
  if ! shared=$(find_shared); then
    echo "corpus check skipped: the shared corpus is not on this machine"
    return 0
  fi
  # Only the formats whose readers this build has.
  local f status=0
  for f in $("$pelmor" --formats); do
    echo "corpus check: $f"
    PELMOR_BIN="$pelmor" python3 "$shared/tools/corpus_check.py" "$shared/corpus" --only "$f/" \
      --jobs "$jobs" || status=1
  done
  return $status
}

echo "== layers"
python3 "$root/scripts/check_layers.py"
echo "== build"
build_tree "$root/build" -DPELMOR_WERROR=ON
echo "== unit tests"
ctest --test-dir "$root/build" -j "$jobs" --output-on-failure
echo "== corpus"
corpus_check "$root/build/apps/pelmor/pelmor"

echo "== sanitizer build (address, undefined)"
build_tree "$root/build-asan" -DPELMOR_SANITIZE=ON -DCMAKE_BUILD_TYPE=Debug -DCMAKE_CXX_FLAGS=-O1 \
  -DPELMOR_WERROR=ON
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
echo "== unit tests under sanitizers"
ctest --test-dir "$root/build-asan" -j "$jobs" --output-on-failure
echo "== corpus under sanitizers"
corpus_check "$root/build-asan/apps/pelmor/pelmor"
echo "== thread sanitizer build (the controls' tests and the stretch's: workers, painting bands)"
build_target "$root/build-tsan" pelmor_tests -DPELMOR_TSAN=ON -DPELMOR_BENCH=OFF \
  -DCMAKE_BUILD_TYPE=Debug -DCMAKE_CXX_FLAGS=-O1
echo "== threaded tests under ThreadSanitizer"
TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1 "$root/build-tsan/tests/pelmor_tests"
echo "== fuzz targets"
bash "$root/scripts/fuzz.sh" "${PELMOR_FUZZ_SECONDS:-10}"
echo "== all tests passed"
