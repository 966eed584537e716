#!/usr/bin/env bash
# Installs what is missing, builds KVR in Release and starts it.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh build
exec ./build/bin/kvr "$@"
