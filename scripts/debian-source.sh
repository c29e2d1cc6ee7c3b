#!/usr/bin/env bash
# Usage: debian-source.sh SOURCE-PACKAGE VERSION DIR
# Unpacks Debian's source package SOURCE-PACKAGE at VERSION into DIR/SOURCE-PACKAGE-VERSION (once;
# later calls reuse it) and prints that directory. The Windows cross build compiles libraries
# that Debian packages for Linux only (libdeflate, mimalloc) from these sources, so that both
# builds use the same version of them. Adds, as root, a deb-src entry for the machine's own
# Debian suites and archive when apt has none.
set -euo pipefail
name=$1 version=$2 dir=$3
tree=$dir/$name-$version
if [ -f "$tree/.unpacked" ]; then
  echo "$tree"
  exit 0
fi

# A deb-src entry beside each deb entry of Debian's archive (same URIs, suites, components, key).
list=/etc/apt/sources.list.d/repcopy-deb-src.sources
if ! apt-get indextargets --format '$(CREATED_BY)' 2>/dev/null | grep -q '^Sources$'; then
  if [ ! -f "$list" ]; then
    src=/etc/apt/sources.list.d/debian.sources
    if [ -f "$src" ]; then
      sed -e 's/^Types: *deb$/Types: deb-src/' "$src" >"$list"
    else
      # One-line format (/etc/apt/sources.list).
      grep -h '^deb ' /etc/apt/sources.list 2>/dev/null | grep 'debian' |
        sed -e 's/^deb /deb-src /' >/etc/apt/sources.list.d/repcopy-deb-src.list
    fi
  fi
  apt-get update -qq >&2
fi

mkdir -p "$dir"
work=$(mktemp -d "$dir/.fetch.XXXXXX")
chmod 755 "$work"  # apt's download user writes there
# apt-get source unpacks with dpkg-source (dpkg-dev) into the current directory.
(cd "$work" && apt-get source -qq -o APT::Sandbox::User=root "$name=$version" >&2)
unpacked=$(find "$work" -mindepth 1 -maxdepth 1 -type d | head -1)
if [ -z "$unpacked" ]; then
  echo "debian-source.sh: apt-get source $name=$version unpacked nothing" >&2
  exit 1
fi
rm -rf "$tree"
mv "$unpacked" "$tree"
rm -rf "$work"
touch "$tree/.unpacked"
echo "$tree"
