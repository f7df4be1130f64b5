#!/usr/bin/env bash
# Configures and builds with all cores.
#   BUILD_DIR (default build), CMAKE_ARGS (extra configure arguments),
#   TARGETS (space-separated targets to build; default all)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build_dir=${BUILD_DIR:-$root/build}
# shellcheck disable=SC2086
cmake -S "$root" -B "$build_dir" -G Ninja ${CMAKE_ARGS:-} >/dev/null
targets=()
for t in ${TARGETS:-}; do targets+=(--target "$t"); done
cmake --build "$build_dir" --parallel "${JOBS:-$(nproc)}" "${targets[@]}"
