#!/usr/bin/env bash
# Set-up, build, then the main job on a scene the project generates itself: classify its
# ground with talvenor_new and score the result against the scene's truth.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
bash "$root/scripts/setup.sh"
# Only the programs the demo runs: the tests and benchmarks are scripts/test.sh's to build.
TARGETS="talvenor_new make_scene score_scene" bash "$root/scripts/build.sh"
build_dir=${BUILD_DIR:-$root/build}
out="$root/out"
mkdir -p "$out"

echo "== generating a 200 m x 200 m urban scene with its truth"
"$build_dir/make_scene" urban "$out/demo_scene.las" 200 4 1 "$out/demo_truth.bin"

echo "== classifying ground"
"$build_dir/talvenor_new" -i "$out/demo_scene.las" -o "$out/demo_ground.las" -v

echo "== score against the truth"
"$build_dir/score_scene" "$out/demo_ground.las" "$out/demo_truth.bin"

echo
echo "input:  $out/demo_scene.las (every point class 1)"
echo "result: $out/demo_ground.las (ground class 2, everything else class 1)"
