#!/usr/bin/env bash
# Generates a repository with a fixed seed through two builds and copies it with each, then
# compares both results by decoded content (scripts/compare_repositories.py).
#   compare_with_base.sh <base build dir> <new build dir> [events] [seed]
set -euo pipefail
base=$1 new=$2 events=${3:-20000} seed=${4:-7}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
here=$(dirname "$0")
for side in base new; do
  dir=${!side}
  "$dir/repgen" "$work/$side-gen" "$events" "$seed" >/dev/null
  "$dir/repcopy" "$work/$side-gen" "$work/$side-copy" >/dev/null 2>&1
done
python3 "$here/compare_repositories.py" "$work/base-gen" "$work/new-gen"
python3 "$here/compare_repositories.py" "$work/base-copy" "$work/new-copy"
