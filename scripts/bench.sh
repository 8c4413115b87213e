#!/usr/bin/env bash
# Benchmarks our decoders against the peer libraries in one run and prints medians and ratios.
#
#   bash scripts/bench.sh [--only TEXT] [--section NAME]... [--seconds S]
#
# The images are generated once into build-bench/data (bench/make_images.sh).
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"

bash "$root/scripts/setup.sh"
build="$root/build-bench"
build_tree "$build" -DCMAKE_BUILD_TYPE=Release -DPELMOR_TESTS=OFF >/dev/null
data=${PELMOR_BENCH_DATA:-"$build/data"}
bash "$root/bench/make_images.sh" "$data"
"$build/bench/pelmor_bench" "$@" "$data"
