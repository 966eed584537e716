#!/usr/bin/env bash
# Installs the Debian packages KVR needs (only those missing) and builds it.
#   scripts/setup.sh [build-dir] [extra cmake arguments...]
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
shift || true

mapfile -t pkgs < <(grep -v -E '^\s*(#|$)' scripts/packages.txt)
bash scripts/install-missing.sh "${pkgs[@]}"

cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release "$@"
cmake --build "$build" -j"$(nproc)"
