#!/usr/bin/env bash
# Installs what is missing (MinGW-w64, zlib for MinGW-w64, the GoogleTest sources, Wine) and
# cross-builds repcopy.exe, repgen.exe, repdump.exe and the test program, with GoogleTest built
# from the sources of Debian's googletest package, into build-windows/ (BUILD_DIR overrides).
# libdeflate is compiled from Debian's source package at the version the Linux build links
# (scripts/debian-source.sh), unless -DREPCOPY_ZLIB_ONLY=ON is given; so is mimalloc, the
# executables' allocator, unless -DREPCOPY_MIMALLOC_SOURCE= (empty: the C runtime's heap) is given.
# `bash scripts/test-windows.sh` builds and runs the tests under Wine.
set -euo pipefail
cd "$(dirname "$0")/.."
REPCOPY_WINDOWS=1 bash scripts/install-deps.sh
build_dir=${BUILD_DIR:-build-windows}
options=()
if [[ " $* " != *" -DREPCOPY_ZLIB_ONLY=ON "* ]]; then
  version=$(dpkg-query -W -f='${Version}' libdeflate-dev)
  sources=$(realpath -m "$build_dir/debian-sources")
  options+=("-DREPCOPY_LIBDEFLATE_SOURCE=$(bash scripts/debian-source.sh libdeflate "$version" "$sources")")
fi
# mimalloc, the Windows executables' allocator (bench/RESULTS.md), at the suite's version.
if [[ " $* " != *" -DREPCOPY_MIMALLOC_SOURCE="* ]]; then
  version=$(apt-cache policy libmimalloc-dev | awk '$1 == "Candidate:" { print $2 }')
  sources=$(realpath -m "$build_dir/debian-sources")
  options+=("-DREPCOPY_MIMALLOC_SOURCE=$(bash scripts/debian-source.sh mimalloc "$version" "$sources")")
fi
cmake -S . -B "$build_dir" -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake \
  -DCMAKE_BUILD_TYPE=Release -DCMAKE_CROSSCOMPILING_EMULATOR=wine "${options[@]}" "$@" >/dev/null
cmake --build "$build_dir" -j"$(nproc)"
