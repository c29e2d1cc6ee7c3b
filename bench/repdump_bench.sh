#!/usr/bin/env bash
# repdump against the copy it checks: makes a repository of N events with repgen (default
# 2000000), then R times (default 3) copies it with repcopy and runs `repdump verify` over the
# copy and `repdump diff` of source and copy, printing wall time and peak resident memory of each
# run and the medians. verify and diff are meant to take less time than the copy, with peak
# memory under 512 MiB. Last, one target file is removed and diff runs once more: its groups
# differ and are read again to name the missing events.
#   bash bench/repdump_bench.sh [events] [rounds] [build_dir]
set -euo pipefail
cd "$(dirname "$0")/.."
events=${1:-2000000}
rounds=${2:-3}
build=${3:-build-release}
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release -DREPCOPY_TESTS=OFF >/dev/null
cmake --build "$build" -j"$(nproc)" --target repcopy repgen repdump >/dev/null
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
"./$build/repgen" "$work/source" "$events" 1 >/dev/null
echo "source: $events events, $(du -sh "$work/source" | cut -f1), $(find "$work/source" -name '*.rep' | wc -l) files"

# Runs a command under /usr/bin/time; appends "seconds peak_MiB" to the named results file.
timed() {
  local results=$1
  shift
  /usr/bin/time -f "%e %M" -o "$work/time.txt" "$@" >"$work/out.txt" 2>&1 || {
    echo "failed: $*"
    tail -5 "$work/out.txt"
    exit 1
  }
  read -r seconds peak_kb <"$work/time.txt"
  echo "$seconds $((peak_kb / 1024))" >>"$work/$results"
}

for round in $(seq "$rounds"); do
  rm -rf "$work/target"
  timed copy.txt "./$build/repcopy" "$work/source" "$work/target"
  timed verify.txt "./$build/repdump" verify "$work/target"
  tail -1 "$work/out.txt"
  timed diff.txt "./$build/repdump" diff "$work/source" "$work/target"
  tail -1 "$work/out.txt"
  echo "round $round: copy $(tail -1 "$work/copy.txt"), verify $(tail -1 "$work/verify.txt"), diff $(tail -1 "$work/diff.txt") (seconds, peak MiB)"
done
for step in copy verify diff; do
  median_s=$(cut -d' ' -f1 "$work/$step.txt" | sort -g | awk '{a[NR]=$1} END{print a[int((NR+1)/2)]}')
  median_m=$(cut -d' ' -f2 "$work/$step.txt" | sort -g | awk '{a[NR]=$1} END{print a[int((NR+1)/2)]}')
  echo "$step: median ${median_s}s, median peak RSS ${median_m} MiB over $rounds run(s)"
done
rm -f "$(find "$work/target" -name '*.rep' | sort | head -1)"
/usr/bin/time -f "%e %M" -o "$work/time.txt" "./$build/repdump" diff "$work/source" "$work/target" >"$work/out.txt" 2>&1 || true
read -r seconds peak_kb < <(tail -1 "$work/time.txt")  # after a failing command, time adds a line first
echo "diff with one target file removed: ${seconds}s, peak RSS $((peak_kb / 1024)) MiB; $(tail -1 "$work/out.txt")"
