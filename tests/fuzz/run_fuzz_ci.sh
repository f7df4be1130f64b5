#!/usr/bin/env bash
# Builds the fuzz targets with clang and runs each for a fixed number of inputs on the seed corpus
# and the kept regression inputs (a few minutes in all). Long runs with random seeds that go on
# after findings: run_fuzz_long.sh.
#   BUILD_DIR (default build-fuzz), FUZZ_SECONDS at most per target (default 120),
#   FUZZ_RUNS per target (default 2000), FUZZ_SEED (default 1)
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
build_dir=${BUILD_DIR:-$root/build-fuzz}
seconds=${FUZZ_SECONDS:-120}
runs=${FUZZ_RUNS:-2000}
seed=${FUZZ_SEED:-1}
BUILD_DIR="$build_dir" \
  CMAKE_ARGS="-DPL_FUZZ=ON -DPL_TESTS=OFF -DPL_BENCH=OFF -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_C_COMPILER=clang" \
  bash "$root/scripts/build.sh"
work=$(mktemp -d /tmp/pl_fuzz_ci_XXXXXX)
trap 'rm -rf "$work"' EXIT
"$build_dir/fuzz_seeds" "$work/seeds" 2>/dev/null
for target in las_reader lax args vpk_writer raster text_reader ply_reader side_reader lay; do
  mkdir -p "$work/corpus_$target" "$work/artifacts_$target"
  echo "fuzz_$target: $runs inputs"
  # A fixed seed and run count keep CI repeatable: it replays the regression inputs and
  # explores a little, while long exploratory runs are done by hand.
  # -close_fd_mask=3 quiets the targets' own messages; sanitizer and libFuzzer
  # reports still reach standard error. A finding fails the script.
  "$build_dir/fuzz_$target" "$work/corpus_$target" "$work/seeds/$target" \
    "$root/tests/data/fuzz_regressions/$target" \
    -seed="$seed" -runs="$runs" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -close_fd_mask=3 \
    -artifact_prefix="$work/artifacts_$target/" -print_final_stats=1 2>"$work/$target.log" || {
    tail -n 60 "$work/$target.log"
    echo "ERROR: fuzz_$target stopped on an input" >&2
    exit 1
  }
  grep -E "^stat::number_of_executed_units" "$work/$target.log" || true
done
