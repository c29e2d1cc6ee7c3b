#!/usr/bin/env bash
# Installs, as root and without questions, the Debian packages repcopy needs that are missing.
# With --fuzz also clang, whose libFuzzer the fuzz targets link against.
set -euo pipefail
packages=(cmake make g++ zlib1g-dev libdeflate-dev libgtest-dev
  nlohmann-json3-dev libxxhash-dev libjemalloc-dev time)
if [ "${1:-}" = "--fuzz" ]; then packages+=(clang); fi
options=()
# The Windows cross build (scripts/build-windows.sh) and its test runs under Wine (64-bit Wine
# alone; its recommended extras, fonts and media libraries, are not needed for console programs).
# dpkg-dev unpacks the Debian source packages the Windows build compiles (scripts/debian-source.sh).
if [ "${REPCOPY_WINDOWS:-0}" = 1 ]; then
  packages+=(g++-mingw-w64-x86-64-posix libz-mingw-w64-dev googletest wine wine64 dpkg-dev)
  options+=(--no-install-recommends)
fi
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing: ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  apt-get install -y -qq "${options[@]}" "${missing[@]}" >/dev/null
fi
