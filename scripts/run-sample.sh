#!/usr/bin/env bash
# Installs what is missing, builds repcopy and repgen, makes the sample source repository
# (sample/source) when it is missing, copies it into a fresh target (sample/target), then checks
# the copy: every file sound, every event of the source in the target exactly once.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
cmake -S . -B build-release -DCMAKE_BUILD_TYPE=Release -DREPCOPY_TESTS=OFF >/dev/null
cmake --build build-release -j"$(nproc)" --target repcopy repgen repdump
if [ ! -d sample/source ]; then
  ./build-release/repgen sample/source 3000 1 >/dev/null
fi
rm -rf sample/target
./build-release/repcopy sample/source sample/target
echo "Copied into sample/target: $(find sample/target -name '*.rep' | wc -l) repository files"
./build-release/repdump verify sample/target
./build-release/repdump diff sample/source sample/target
