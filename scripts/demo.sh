#!/usr/bin/env bash
# Set-up, build, then the main job on a scene the project generates itself.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
bash "$root/scripts/setup.sh"
bash "$root/scripts/build.sh"
build_dir=${BUILD_DIR:-$root/build}
if [[ ! -x "$build_dir/talvenor_new" ]]; then
  echo "built the library into $build_dir; the programs are not yet complete, so there is nothing to classify yet"
  exit 0
fi
