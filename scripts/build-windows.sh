#!/usr/bin/env bash
# Installs what is missing (MinGW-w64, zlib for MinGW-w64, the GoogleTest sources, Wine) and
# cross-builds repcopy.exe, repgen.exe and the test program, with GoogleTest built from the
# sources of Debian's googletest package, into build-windows/ (BUILD_DIR overrides).
# `bash scripts/test-windows.sh` builds and runs the tests under Wine.
set -euo pipefail
cd "$(dirname "$0")/.."
REPCOPY_WINDOWS=1 bash scripts/install-deps.sh
build_dir=${BUILD_DIR:-build-windows}
cmake -S . -B "$build_dir" -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake \
  -DCMAKE_BUILD_TYPE=Release -DCMAKE_CROSSCOMPILING_EMULATOR=wine "$@" >/dev/null
cmake --build "$build_dir" -j"$(nproc)"
