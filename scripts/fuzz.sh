#!/usr/bin/env bash
# Builds the libFuzzer targets with clang, replays every seed through every target (the shared
# corpus, the samples, the regression files), then fuzzes each target for a while.
#
#   bash scripts/fuzz.sh [SECONDS_PER_TARGET] [TARGET...]
#
# SECONDS_PER_TARGET defaults to 20; 0 only replays. Targets default to all (fuzz/*_fuzzer.cpp).
# Extra libFuzzer flags can be given in FUZZ_FLAGS (for example "-jobs=2 -workers=2").
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"

seconds=${1:-20}
shift || true

bash "$root/scripts/setup.sh"
build="$root/build-fuzz"
CC=clang CXX=clang++ build_tree "$build" -DPELMOR_FUZZ=ON -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null

targets=("$@")
if [ ${#targets[@]} -eq 0 ]; then
  for f in "$root"/fuzz/*_fuzzer.cpp; do targets+=("$(basename "$f" .cpp)"); done
fi

seeds=("$root/samples" "$root/tests/regressions")
if shared=$(find_shared); then
  seeds+=("$shared/corpus")
else
  echo "fuzz: the shared corpus is not on this machine; seeding from samples and regressions only"
fi

export ASAN_OPTIONS=detect_leaks=1:allocator_may_return_null=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
# Memory per input: the document refuses images above 64 MiB itself (see fuzz_driver.cpp).
limits=(-rss_limit_mb=2048 -malloc_limit_mb=1024 -timeout=20)
mkdir -p "$build/artifacts"
# With -jobs, libFuzzer writes its fuzz-N.log files into the current folder.
cd "$build"

status=0
for t in "${targets[@]}"; do
  bin="$build/fuzz/$t"
  work="$root/fuzz-corpus/$t"
  mkdir -p "$work"
  own=()
  [ -d "$root/fuzz/seeds/$t" ] && own=("$root/fuzz/seeds/$t")
  echo "== $t: replaying the seeds"
  if ! "$bin" "${limits[@]}" -runs=0 -artifact_prefix="$build/artifacts/$t-" "${own[@]}" \
      "${seeds[@]}" >"$build/$t.replay.log" 2>&1; then
    echo "$t: a seed failed; see $build/$t.replay.log"
    tail -n 30 "$build/$t.replay.log"
    status=1
    continue
  fi
  [ "$seconds" -gt 0 ] || continue
  echo "== $t: fuzzing for ${seconds}s"
  # shellcheck disable=SC2086
  if ! "$bin" "${limits[@]}" -max_total_time="$seconds" -print_final_stats=1 \
      -artifact_prefix="$build/artifacts/$t-" ${FUZZ_FLAGS:-} "$work" "${own[@]}" "${seeds[@]}" \
      >"$build/$t.fuzz.log" 2>&1; then
    echo "$t: a finding; see $build/$t.fuzz.log and $build/artifacts"
    tail -n 40 "$build/$t.fuzz.log"
    status=1
  else
    grep -E '^stat::number_of_executed_units' "$build/$t.fuzz.log" | sed "s/^/  $t /" || true
  fi
done
exit $status
