#!/usr/bin/env bash
# Installs what is missing, builds repcopy and its tests, and runs the whole test suite.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
build_dir=${BUILD_DIR:-build}
cmake -S . -B "$build_dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo "$@" >/dev/null
cmake --build "$build_dir" -j"$(nproc)"
cd "$build_dir" && ctest --output-on-failure -j"$(nproc)"
