#!/usr/bin/env bash
# Set-up, build, then every test in parallel.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
bash "$root/scripts/setup.sh"
bash "$root/scripts/build.sh"
build_dir=${BUILD_DIR:-$root/build}
cd "$build_dir"
ctest -j "$(nproc)" --output-on-failure --timeout 600
