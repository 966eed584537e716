#!/usr/bin/env bash
# Installs what is missing, builds KVR and runs every test through CTest on the
# offscreen platform.  With --sanitize the build and the run use
# AddressSanitizer and UndefinedBehaviorSanitizer in a separate build folder.
set -euo pipefail
cd "$(dirname "$0")/.."
# Benchmarks are run on demand, not here; leaving them out keeps the run short.
build=build
args=(-DKVR_BUILD_BENCH=OFF)
ctest_args=()
if [ "${1:-}" = "--sanitize" ]; then
  build=build-sanitize
  args+=(-DKVR_SANITIZE=ON -DCMAKE_BUILD_TYPE=Debug)
  # Tests labelled "scale" repeat the paths of smaller tests at size; under
  # the sanitizers they would only take time.
  ctest_args+=(-LE scale)
fi
bash scripts/setup.sh "$build" "${args[@]}"
export QT_QPA_PLATFORM=offscreen
ctest --test-dir "$build" --output-on-failure -j"$(nproc)" "${ctest_args[@]}"
