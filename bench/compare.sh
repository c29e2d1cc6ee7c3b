#!/usr/bin/env bash
# Paired comparison for bench/RESULTS.md: builds the new default (libdeflate) and the old zlib
# level-7 path (-DREPCOPY_ZLIB_ONLY=ON) side by side, then, on the same cached realistic
# repository, runs the copy with each build alternately (so both meet the same machine load),
# and the floor (inflate every source item, deflate it again with the engine, all cores).
#
#   bash bench/compare.sh [events=1200000] [runs=3] [extra build dirs...]
#
# Extra build directories (for example a build of an older commit) join the alternation.
# FROZEN=DIR skips building and runs DIR/new, DIR/zlib and the extra directories as they are
# (copies of the executables, so that the source tree may change while the runs go on).
set -euo pipefail
cd "$(dirname "$0")/.."
events=${1:-1200000}
runs=${2:-3}
shift $(($# > 2 ? 2 : $#))
extra=("$@")
new=build-bench
zlib=build-zlib
if [ -n "${FROZEN:-}" ]; then
  new=$FROZEN/new
  zlib=$FROZEN/zlib
  export NO_BUILD=1
fi
for config in "build-bench:OFF" "build-zlib:ON"; do
  [ -n "${FROZEN:-}" ] && break
  dir=${config%%:*}
  if [ ! -f "$dir/CMakeCache.txt" ]; then
    cmake -S . -B "$dir" -DCMAKE_BUILD_TYPE=Release -DREPCOPY_TESTS=OFF \
      -DREPCOPY_ZLIB_ONLY="${config##*:}" >/dev/null
  fi
  cmake --build "$dir" -j2 --target repcopy repgen floor_bench >/dev/null
done
echo "machine: $(nproc) cores, $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2 | xargs)," \
  "$(free -g | awk '/Mem:/ {print $2}') GB; load before: $(cut -d' ' -f1-3 /proc/loadavg)"
for run in $(seq "$runs"); do
  for dir in "$new" "$zlib" "${extra[@]}"; do
    echo "== run $run, $dir"
    TOOLS_BUILD=$new bash bench/copy_bench.sh --profile realistic "$events" "$dir" | grep '^copy\|^source'
  done
  echo "== run $run, floor"
  /usr/bin/time -f "floor CPU %U s user %S s system, peak RSS %M KB" \
    "$new/floor_bench" floor "${BENCH_DATA:-/work/benchdata}/realistic-hard-$events"
  echo "load: $(cut -d' ' -f1-3 /proc/loadavg)"
done
