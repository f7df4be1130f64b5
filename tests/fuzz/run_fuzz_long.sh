#!/usr/bin/env bash
# Long exploratory fuzzing of one target: random seeds, several processes, going on after every
# finding. The failing inputs end up in one folder; each distinct stack (by its top frames in our
# own code) is printed once, with how many inputs show it and one of them to replay.
#
#   bash tests/fuzz/run_fuzz_long.sh TARGET MINUTES [PROCESSES]
#
# TARGET is the part after fuzz_ (las_reader, lax, args, vpk_writer, raster). PROCESSES defaults
# to 2. Environment:
#   BUILD_DIR   the clang fuzz build (default build-fuzz; built here unless SKIP_BUILD=1)
#   OUT_DIR     where the run keeps everything (default /tmp/pl_fuzz_long_TARGET_<date>):
#               findings/ the failing inputs, corpus/ the grown corpus, fuzz.log the run's log
#   CORPUS_DIR  a corpus to grow across runs instead of OUT_DIR/corpus
#   FRAMES      frames of our own code that make a stack distinct (default 3)
#   TIMEOUT     seconds one input may take before it counts as a hang (default 20)
#   RSS_MB      memory limit of one process in MB (default 2048)
# Replay one finding with the fuzz build: build-fuzz/fuzz_TARGET OUT_DIR/findings/NAME
# A run ends with status 0 even when it found something: the summary says what it found.
set -euo pipefail

if [ $# -lt 2 ]; then
  sed -n '2,18p' "$0" >&2
  exit 1
fi
target=$1
minutes=$2
processes=${3:-2}
case "$minutes$processes" in
  *[!0-9]*)
    echo "ERROR: MINUTES and PROCESSES are whole numbers" >&2
    exit 1
    ;;
esac

root=$(cd "$(dirname "$0")/../.." && pwd)
build_dir=$(realpath -m "${BUILD_DIR:-$root/build-fuzz}")
out=$(realpath -m "${OUT_DIR:-/tmp/pl_fuzz_long_${target}_$(date +%Y%m%d_%H%M%S)}")
corpus=$(realpath -m "${CORPUS_DIR:-$out/corpus}")
frames=${FRAMES:-3}
timeout_s=${TIMEOUT:-20}
rss_mb=${RSS_MB:-2048}

if [ "${SKIP_BUILD:-0}" != 1 ]; then
  BUILD_DIR="$build_dir" \
    CMAKE_ARGS="-DPL_FUZZ=ON -DPL_TESTS=OFF -DPL_BENCH=OFF -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_C_COMPILER=clang" \
    bash "$root/scripts/build.sh" >/dev/null
fi
if [ ! -x "$build_dir/fuzz_$target" ]; then
  echo "ERROR: no fuzz target '$build_dir/fuzz_$target'" >&2
  exit 1
fi

mkdir -p "$out/findings" "$out/bin" "$corpus"
# The run uses copies, so that rebuilding while it runs does not change the code under test.
cp "$build_dir/fuzz_$target" "$build_dir/fuzz_seeds" "$out/bin/"
exe="$out/bin/fuzz_$target"
"$out/bin/fuzz_seeds" "$out/seeds" 2>/dev/null
seed_dirs=()
[ -d "$out/seeds/$target" ] && seed_dirs+=("$out/seeds/$target")
[ -d "$root/tests/data/fuzz_regressions/$target" ] && seed_dirs+=("$root/tests/data/fuzz_regressions/$target")

echo "fuzz_$target: $minutes minutes on $processes processes, random seeds; output in $out"
# -fork runs the inputs in child processes that are restarted after a crash, a hang or an out of
# memory; -ignore_* keep the run going after each. No -seed: every child starts from its own.
# -close_fd_mask=3 quiets the targets' own messages (the findings are replayed below).
status=0
"$exe" "$corpus" "${seed_dirs[@]}" -fork="$processes" -ignore_crashes=1 -ignore_timeouts=1 \
  -ignore_ooms=1 -max_total_time=$((minutes * 60)) -timeout="$timeout_s" -rss_limit_mb="$rss_mb" \
  -close_fd_mask=3 -artifact_prefix="$out/findings/" >"$out/fuzz.log" 2>&1 || status=$?

inputs=$(grep -aoE '^#[0-9]+:' "$out/fuzz.log" | tail -n 1 | tr -d '#:')
echo "fuzz_$target: ${inputs:-0} inputs run in $minutes minutes (libFuzzer exit status $status)"

# Replays every finding alone and reduces its report to the kind of failure and the top frames
# that lie in our own sources.
signature() {
  local input=$1 report
  report=$(cd "$out" && ASAN_OPTIONS=detect_leaks=1:symbolize=1 UBSAN_OPTIONS=print_stacktrace=1 \
    timeout $((timeout_s * 3)) "$exe" -timeout="$timeout_s" -rss_limit_mb="$rss_mb" "$input" 2>&1 || true)
  local kind
  kind=$(printf '%s\n' "$report" |
    grep -aoE 'runtime error: [^(]*|ERROR: (AddressSanitizer|LeakSanitizer|libFuzzer): [a-zA-Z -]+' |
    sed -E 's/ on (unknown )?address.*//; s/ +$//' | head -n 1)
  [ -z "$kind" ] && kind="no failure on replay"
  local stack
  stack=$(printf '%s\n' "$report" | grep -aE '^ *#[0-9]+ 0x[0-9a-f]+ in ' |
    awk -v root="$root/" -v frames="$frames" '
      {
        sub(/^ *#[0-9]+ 0x[0-9a-f]+ in /, "")
        path = $NF
        if (index(path, root) != 1) next
        path = substr(path, length(root) + 1)
        if (path !~ /^(pointlib|tools|tests)\//) next
        sub(/:[0-9]+$/, "", path)
        fn = substr($0, 1, length($0) - length($NF) - 1)
        gsub(/\(anonymous namespace\)/, "anon", fn)
        sub(/\(.*$/, "", fn)
        if (fn == "LLVMFuzzerTestOneInput" || seen[fn " " path]++) next
        print fn " " path
        if (++n == frames) exit
      }' | paste -sd '|' -)
  printf '%s|%s' "$kind" "${stack:-(no frame of our own)}"
}

shopt -s nullglob
found=("$out"/findings/*)
if [ ${#found[@]} -eq 0 ]; then
  echo "fuzz_$target: no failing input"
  exit 0
fi
declare -A count example
order=()
for input in "${found[@]}"; do
  sig=$(signature "$input")
  if [ -z "${count[$sig]+x}" ]; then
    count[$sig]=0
    example[$sig]=$input
    order+=("$sig")
  fi
  count[$sig]=$((count[$sig] + 1))
done
echo "fuzz_$target: ${#found[@]} failing inputs in $out/findings, ${#order[@]} distinct stacks:"
n=0
for sig in "${order[@]}"; do
  n=$((n + 1))
  echo
  echo "[$n] ${sig%%|*} (${count[$sig]} inputs, e.g. ${example[$sig]})"
  printf '%s\n' "${sig#*|}" | tr '|' '\n' | sed 's/^/      /'
done
