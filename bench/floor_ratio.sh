#!/usr/bin/env bash
# The copy against the compression floor, in one run: for each size, a repgen repository (made
# once, kept in the data directory) is copied N times with both cores and N times held to one core
# (`taskset -c 0`), and the floor (`floor_bench floor SRC 6 2`: unpack every item and pack it again
# on both cores, nothing else) is measured N times in between, on both cores and on one; the
# medians give copy / floor and one core / both cores, the copy's and the floor's (what the
# machine's two cores give work that shares nothing). Also the peak memory of the copies, the
# size of the copy against that of the zlib level-7 build (-DREPCOPY_ZLIB_ONLY=ON) on the same
# source, and `repdump diff` of the copy against the source.
#
#   bash bench/floor_ratio.sh [--profile small|easy|realistic] [--data DIR] [--runs N] [--no-zlib]
#                             [events...]
#
# Defaults: realistic profile, three runs, 1200000 events (give 1200000 3000000 to see the time
# grow with the size), data in /work/benchdata (or $BENCH_DATA). Builds: $BUILD (build-release)
# and $ZLIB_BUILD (build-zlib), each configured as Release when missing; NO_BUILD=1 runs the
# executables in them as they are. Goals printed beside the figures: copy / floor <= 1.4, one
# core / both cores >= 1.85, peak <= 512 MiB, size against the zlib build <= 1.005, diff equal.
# Exit code 1 when a copy fails or the diff finds a difference; goals missed only print.
set -euo pipefail
cd "$(dirname "$0")/.."
. bench/bench_data.sh
profile=realistic
data=${BENCH_DATA:-/work/benchdata}
runs=3
zlib=1
sizes=()
while [ $# -gt 0 ]; do
  case "$1" in
    --profile) profile=$2; shift 2 ;;
    --data) data=$2; shift 2 ;;
    --runs) runs=$2; shift 2 ;;
    --no-zlib) zlib=; shift ;;
    *) sizes+=("$1"); shift ;;
  esac
done
[ ${#sizes[@]} -gt 0 ] || sizes=(1200000)
build=${BUILD:-build-release}
zbuild=${ZLIB_BUILD:-build-zlib}
if [ -z "${NO_BUILD:-}" ]; then
  if [ ! -f "$build/CMakeCache.txt" ]; then
    cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release -DREPCOPY_TESTS=OFF >/dev/null
  fi
  cmake --build "$build" -j2 --target repcopy repgen repdump floor_bench >/dev/null
  if [ -n "$zlib" ]; then
    if [ ! -f "$zbuild/CMakeCache.txt" ]; then
      cmake -S . -B "$zbuild" -DCMAKE_BUILD_TYPE=Release -DREPCOPY_TESTS=OFF \
        -DREPCOPY_ZLIB_ONLY=ON >/dev/null
    fi
    cmake --build "$zbuild" -j2 --target repcopy >/dev/null
  fi
fi

work=$(mktemp -d "${TMPDIR:-/tmp}/floor_ratio.XXXXXX")
trap 'rm -rf "$work"' EXIT

# Runs a command under /usr/bin/time; sets wall and cpu (seconds) and peak (MiB).
timed() {
  /usr/bin/time -v -o "$work/time.txt" "$@" >"$work/out.txt" 2>"$work/err.txt" ||
    { echo "failed: $*"; cat "$work/err.txt"; exit 1; }
  wall=$(awk -F': ' '/Elapsed \(wall clock\)/ {n = split($2, p, ":"); s = 0;
    for (i = 1; i <= n; i++) s = s * 60 + p[i]; print s}' "$work/time.txt")
  cpu=$(awk -F': ' '/User time|System time/ {s += $2} END {print s}' "$work/time.txt")
  peak=$(awk -F': ' '/Maximum resident set size/ {printf "%d", $2 / 1024}' "$work/time.txt")
}
# A fresh copy of $source into $1, the copy's command prefixed by the rest.
copy_into() {
  local target=$1 program=$2
  shift 2
  rm -rf "$target"
  timed "$@" "$program" -q "$source" "$target"
}
median() { sort -g | awk '{v[NR] = $1} END {print NR % 2 ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2}'; }
rep_bytes() { find "$1" -name '*.rep' -printf '%s\n' | awk '{s += $1} END {printf "%d", s}'; }
verdict() { awk -v v="$1" -v g="$2" -v op="$3" 'BEGIN {
  ok = op == "<=" ? v <= g : v >= g; printf "%s", ok ? "goal " op " " g ": met" : "goal " op " " g ": NOT MET" }'; }

echo "machine: $(nproc) cores, $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2 | xargs)," \
  "load $(cut -d' ' -f1-3 /proc/loadavg)"
status=0
summary=()
for events in "${sizes[@]}"; do
  bench_source "$build/repgen" "$build/floor_bench" "$data" "$profile" "$events"
  read -r _ files _ items _ packed _ unpacked <"$source/.sizes"
  awk -v p="$profile" -v e="$events" -v f="$files" -v i="$items" -v pk="$packed" -v u="$unpacked" \
    -v s="$source" 'BEGIN {
      printf "source: %s, %s profile, %d events, %d files, %d items, %.1f MB packed, %.1f MB unpacked (items %.2f:1)\n",
        s, p, e, f, i, pk / 1e6, u / 1e6, u / pk }'
  : >"$work/copy" && : >"$work/copy_cpu" && : >"$work/floor" && : >"$work/floor_cpu"
  : >"$work/pinned" && : >"$work/peak" && : >"$work/floor_pinned"
  for run in $(seq "$runs"); do
    copy_into "$work/target" "$build/repcopy"
    echo "$wall" >>"$work/copy"
    echo "$cpu" >>"$work/copy_cpu"
    echo "$peak" >>"$work/peak"
    line="run $run: copy $wall s ($cpu s CPU, peak $peak MiB)"
    timed "$build/floor_bench" floor "$source" 6 2
    floor=$(awk '{for (i = 1; i < NF; i++) if ($(i + 1) == "s,") {print $i; exit}}' "$work/out.txt")
    echo "$floor" >>"$work/floor"
    echo "$cpu" >>"$work/floor_cpu"
    line+=", floor $floor s ($cpu s CPU)"
    copy_into "$work/pinned-target" "$build/repcopy" taskset -c 0
    echo "$wall" >>"$work/pinned"
    line+=", copy on one core $wall s ($cpu s CPU, peak $peak MiB)"
    timed taskset -c 0 "$build/floor_bench" floor "$source" 6 2
    floor_pinned=$(awk '{for (i = 1; i < NF; i++) if ($(i + 1) == "s,") {print $i; exit}}' "$work/out.txt")
    echo "$floor_pinned" >>"$work/floor_pinned"
    echo "$line, floor on one core $floor_pinned s"
  done
  copy=$(median <"$work/copy")
  floor=$(median <"$work/floor")
  pinned=$(median <"$work/pinned")
  top=$(sort -g "$work/peak" | tail -1)
  ratio=$(awk -v a="$copy" -v b="$floor" 'BEGIN {printf "%.3f", a / b}')
  cores=$(awk -v a="$pinned" -v b="$copy" 'BEGIN {printf "%.3f", a / b}')
  echo "median of $runs: copy $copy s ($(median <"$work/copy_cpu") s CPU), floor $floor s," \
    "one core $pinned s"
  echo "  copy / floor $ratio ($(verdict "$ratio" 1.4 "<=")); in CPU time (user + system)" \
    "$(awk -v a="$(median <"$work/copy_cpu")" -v b="$(median <"$work/floor_cpu")" \
      'BEGIN {printf "%.3f", a / b}')"
  echo "  one core / both cores $cores ($(verdict "$cores" 1.85 ">=")); the floor's own" \
    "$(awk -v a="$(median <"$work/floor_pinned")" -v b="$floor" 'BEGIN {printf "%.3f", a / b}')"

  echo "  peak RSS $(median <"$work/peak") MiB median, $top MiB highest ($(verdict "$top" 512 "<="))"
  bytes=$(rep_bytes "$work/target")
  if [ -n "$zlib" ]; then
    copy_into "$work/zlib-target" "$zbuild/repcopy"
    zbytes=$(rep_bytes "$work/zlib-target")
    size=$(awk -v a="$bytes" -v b="$zbytes" 'BEGIN {printf "%.4f", a / b}')
    echo "  size $bytes bytes, zlib level-7 build $zbytes bytes ($wall s):" \
      "$size ($(verdict "$size" 1.005 "<="))"
    rm -rf "$work/zlib-target"
  else
    echo "  size $bytes bytes (zlib build not run)"
  fi
  "$build/repdump" diff "$source" "$work/target" >"$work/diff.txt" 2>&1 || status=1
  echo "  $(tail -1 "$work/diff.txt")"
  summary+=("$events $copy $floor $top")
  rm -rf "$work/target" "$work/pinned-target"
done
if [ ${#summary[@]} -gt 1 ]; then
  echo "size against time (linear: the same seconds per million events at every size):"
  for row in "${summary[@]}"; do
    set -- $row
    awk -v e="$1" -v c="$2" -v f="$3" -v p="$4" 'BEGIN {
      printf "  %d events: copy %.2f s per million events, floor %.2f s per million, peak %d MiB\n",
        e, c * 1e6 / e, f * 1e6 / e, p }'
  done
fi
echo "load after: $(cut -d' ' -f1-3 /proc/loadavg)"
exit "$status"
