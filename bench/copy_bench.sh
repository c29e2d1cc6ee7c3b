#!/usr/bin/env bash
# Whole-copy benchmark: makes a repository of N events with repgen once (kept in the data
# directory, outside the source tree, so later runs reuse it) and copies it with repcopy, printing
# wall time, MB/s of unpacked target data, events per second and peak resident memory.
#
#   bash bench/copy_bench.sh [--profile small|realistic] [--data DIR] [--runs K] [--level N]
#                            [--rerun] [--shards N] [events] [build_dir]
#
# --rerun: after each copy, runs the same command again into the same target (every event is
# already there: the duplicate check reads the whole target and writes nothing) and prints its
# time, CPU time and peak memory, and its time as a share of the first copy's.
#
# --shards N: after each copy, runs the N copies `--shard 0/N` ... `--shard N-1/N` one after another
# into an empty target, then all N started at once into another empty target, and prints both
# wall times: side by side they share the target without waiting for each other.
#
# Defaults: small profile, 1000000 events, build-release, data in /work/benchdata (or
# $BENCH_DATA), one run. The build directory is configured as Release when it does not exist;
# pass one configured with -DREPCOPY_ZLIB_ONLY=ON to measure the zlib path.
set -euo pipefail
cd "$(dirname "$0")/.."
. bench/bench_data.sh
profile=small
data=${BENCH_DATA:-/work/benchdata}
runs=1
level=()
rerun=
shards=
positional=()
while [ $# -gt 0 ]; do
  case "$1" in
    --profile) profile=$2; shift 2 ;;
    --data) data=$2; shift 2 ;;
    --runs) runs=$2; shift 2 ;;
    --level) level=(--level "$2"); shift 2 ;;
    --rerun) rerun=1; shift ;;
    --shards) shards=$2; shift 2 ;;
    *) positional+=("$1"); shift ;;
  esac
done
events=${positional[0]:-1000000}
build=${positional[1]:-build-release}
# repgen and floor_bench come from TOOLS_BUILD when set (to time a build of an older version).
# NO_BUILD=1 runs the executables as they are (directories of copied executables).
tools=${TOOLS_BUILD:-$build}
if [ -z "${NO_BUILD:-}" ]; then
  if [ ! -f "$build/CMakeCache.txt" ]; then
    cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release -DREPCOPY_TESTS=OFF >/dev/null
  fi
  [ -f "$tools/CMakeCache.txt" ] || tools=$build
  cmake --build "$build" -j2 --target repcopy >/dev/null
  cmake --build "$tools" -j2 --target repgen floor_bench >/dev/null
fi

bench_source "$tools/repgen" "$tools/floor_bench" "$data" "$profile" "$events"
read -r _ files _ _ _ packed _ unpacked < "$source/.sizes"
echo "source: $profile, $events events, $files files, $((packed / 1000000)) MB packed," \
  "$((unpacked / 1000000)) MB unpacked"

work=$(mktemp -d "${TMPDIR:-/tmp}/copy_bench.XXXXXX")
trap 'rm -rf "$work"' EXIT
for run in $(seq "$runs"); do
  rm -rf "$work/target"
  /usr/bin/time -v -o "$work/time.txt" "$build/repcopy" "${level[@]}" "$source" "$work/target" \
    >/dev/null
  seconds=$(awk -F': ' '/Elapsed \(wall clock\)/ {n = split($2, p, ":"); s = 0;
    for (i = 1; i <= n; i++) s = s * 60 + p[i]; print s}' "$work/time.txt")
  peak_kb=$(awk -F': ' '/Maximum resident set size/ {print $2}' "$work/time.txt")
  cpu=$(awk -F': ' '/User time|System time/ {s += $2} END {print s}' "$work/time.txt")
  read -r _ tfiles _ _ _ tpacked _ tunpacked < <("$tools/floor_bench" sizes "$work/target")
  awk -v s="$seconds" -v e="$events" -v u="$tunpacked" -v p="$tpacked" -v k="$peak_kb" \
    -v f="$tfiles" -v r="$run" -v c="$cpu" 'BEGIN {
      printf "copy %d: %.2f s (%.1f s CPU), %.1f MB/s unpacked, %d events/s, peak RSS %d MiB; target %d files, %.1f MB packed, %.1f MB unpacked\n",
        r, s, c, u / 1e6 / s, e / s, k / 1024, f, p / 1e6, u / 1e6 }'
  if [ -n "$rerun" ]; then
    /usr/bin/time -v -o "$work/time2.txt" "$build/repcopy" "${level[@]}" "$source" \
      "$work/target" >"$work/rerun.out" 2>"$work/rerun.err" ||
      { echo "rerun $run failed"; cat "$work/rerun.err"; exit 1; }
    seconds2=$(awk -F': ' '/Elapsed \(wall clock\)/ {n = split($2, p, ":"); s = 0;
      for (i = 1; i <= n; i++) s = s * 60 + p[i]; print s}' "$work/time2.txt")
    peak2_kb=$(awk -F': ' '/Maximum resident set size/ {print $2}' "$work/time2.txt")
    cpu2=$(awk -F': ' '/User time|System time/ {s += $2} END {print s}' "$work/time2.txt")
    skipped=$(sed -n 's/^Already in the target, not copied: \([0-9]*\) event(s)$/\1/p' \
      "$work/rerun.out")
    read -r _ rfiles _ < <("$tools/floor_bench" sizes "$work/target")
    awk -v s="$seconds2" -v c="$cpu2" -v k="$peak2_kb" -v f="$seconds" -v fc="$cpu" \
      -v r="$run" -v n="${skipped:-0}" -v tf="$rfiles" -v of="$tfiles" 'BEGIN {
        printf "rerun %d: %.2f s (%.1f s CPU), peak RSS %d MiB, %.0f %% of the copy (%.0f %% of its CPU); %d events already there, target %d files (%d before)\n",
          r, s, c, k / 1024, 100 * s / f, 100 * c / fc, n, tf, of }'
  fi
  if [ -n "$shards" ]; then
    start=$(date +%s.%N)
    for k in $(seq 0 $((shards - 1))); do
      "$build/repcopy" -q --shard "$k/$shards" "${level[@]}" "$source" "$work/serial" ||
        { echo "shard $k/$shards failed"; exit 1; }
    done
    middle=$(date +%s.%N)
    pids=()
    for k in $(seq 0 $((shards - 1))); do
      "$build/repcopy" -q --shard "$k/$shards" "${level[@]}" "$source" "$work/parallel" &
      pids+=($!)
    done
    for pid in "${pids[@]}"; do wait "$pid" || { echo "a shard run failed"; exit 1; }; done
    end=$(date +%s.%N)
    rm -rf "$work/serial" "$work/parallel"
    awk -v a="$start" -v b="$middle" -v c="$end" -v n="$shards" -v r="$run" 'BEGIN {
      printf "shards %d: %d runs one after another %.2f s, started at once %.2f s (%.0f %%)\n",
        r, n, b - a, c - b, 100 * (c - b) / (b - a) }'
  fi
done
