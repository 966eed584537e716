#!/bin/sh
# Times `kvr-cli score FILE > /dev/null` on 1,000,000 random answer rows.
# Builds kvr-cli and the row generator in Release in its own build folder
# (default: <tree>/build-bench-scoring), then runs the timing three times.
#   bench/scoring/run_score_bench.sh [BUILD_DIR] [COUNT]
# Extra configure options may be given in KVR_BENCH_CMAKE_ARGS.
set -eu
here=$(cd "$(dirname "$0")" && pwd)
top=$(cd "$here/../.." && pwd)
build=${1:-$top/build-bench-scoring}
count=${2:-1000000}

cmake -S "$top" -B "$build" -DCMAKE_BUILD_TYPE=Release -DKVR_BUILD_TESTS=OFF ${KVR_BENCH_CMAKE_ARGS:-} >/dev/null
cmake --build "$build" --target kvr-cli bench_scoring_gen -j2 >/dev/null

rows="$build/score-bench-$count.csv"
if [ ! -s "$rows" ]; then
    "$build/bin/bench_scoring_gen" "$count" > "$rows"
fi
echo "input: $rows ($(wc -c < "$rows") bytes, $count rows)"
for run in 1 2 3; do
    start=$(date +%s.%N)
    status=0
    "$build/bin/kvr-cli" score "$rows" > /dev/null || status=$?
    end=$(date +%s.%N)
    echo "run $run: $(awk "BEGIN { printf \"%.3f\", $end - $start }") s (exit status $status)"
done
