#!/usr/bin/env bash
# Whole-copy benchmark: makes a repository of N events with repgen (default 1000000) and copies
# it with repcopy, printing wall time, events per second and peak resident memory.
#   bash bench/copy_bench.sh [events] [build_dir]
set -euo pipefail
cd "$(dirname "$0")/.."
events=${1:-1000000}
build=${2:-build-release}
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release -DREPCOPY_TESTS=OFF >/dev/null
cmake --build "$build" -j"$(nproc)" --target repcopy repgen >/dev/null
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
"./$build/repgen" "$work/source" "$events" 11 >/dev/null
echo "source: $events events, $(du -sh "$work/source" | cut -f1), $(find "$work/source" -name '*.rep' | wc -l) files"
/usr/bin/time -f "%e %M" -o "$work/time.txt" "./$build/repcopy" "$work/source" "$work/target" >/dev/null
read -r seconds peak_kb < "$work/time.txt"
echo "copy: ${seconds}s, $(awk "BEGIN{printf \"%d\", $events/$seconds}") events/s, peak RSS $((peak_kb / 1024)) MiB"
echo "target: $(du -sh "$work/target" | cut -f1), $(find "$work/target" -name '*.rep' | wc -l) files"
