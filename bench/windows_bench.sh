#!/usr/bin/env bash
# repcopy.exe under Wine against the Linux build on one repgen repository: CPU time (user+sys)
# and wall time of each copy, and the size of what each wrote; runs alternate between the two.
#
#   bash bench/windows_bench.sh [--profile small|realistic] [--data DIR] [--runs K] [--diff]
#                               [events] [linux_build] [windows_build]
#
# Defaults: realistic profile, 1200000 events, build-release (configured as Release when
# missing), build-windows (scripts/build-windows.sh), data in /work/benchdata (or $BENCH_DATA),
# three runs of each. --diff also compares the two last copies with the Linux build's repdump.
# The Wine process's CPU time is what /usr/bin/time counts for it; wineserver, a separate process,
# is counted apart ("server"). A Wine prefix is made for the run unless WINEPREFIX is set.
set -euo pipefail
cd "$(dirname "$0")/.."
. bench/bench_data.sh
profile=realistic
data=${BENCH_DATA:-/work/benchdata}
runs=3
diff=0
positional=()
while [ $# -gt 0 ]; do
  case "$1" in
    --profile) profile=$2; shift 2 ;;
    --data) data=$2; shift 2 ;;
    --runs) runs=$2; shift 2 ;;
    --diff) diff=1; shift ;;
    *) positional+=("$1"); shift ;;
  esac
done
events=${positional[0]:-1200000}
linux=${positional[1]:-build-release}
windows=${positional[2]:-build-windows}
if [ -z "${NO_BUILD:-}" ]; then
  if [ ! -f "$linux/CMakeCache.txt" ]; then
    cmake -S . -B "$linux" -DCMAKE_BUILD_TYPE=Release -DREPCOPY_TESTS=OFF >/dev/null
  fi
  cmake --build "$linux" -j2 --target repcopy repgen repdump floor_bench >/dev/null
  [ -f "$windows/repcopy.exe" ] || BUILD_DIR=$windows bash scripts/build-windows.sh >/dev/null
fi

bench_source "$linux/repgen" "$linux/floor_bench" "$data" "$profile" "$events"
read -r _ files _ _ _ packed _ unpacked <"$source/.sizes"
echo "source: $profile, $events events, $files files, $((packed / 1000000)) MB packed," \
  "$((unpacked / 1000000)) MB unpacked"

work=$(mktemp -d "${TMPDIR:-/tmp}/windows_bench.XXXXXX")
cleanup() {
  [ -n "${own_prefix:-}" ] && WINEPREFIX=$own_prefix wineserver -k >/dev/null 2>&1
  rm -rf "$work"
}
trap cleanup EXIT
export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
if [ -z "${WINEPREFIX:-}" ]; then
  own_prefix=$work/wine
  export WINEPREFIX=$own_prefix
  wineboot -i >/dev/null 2>&1
fi
# Keeps wineserver running between the runs, so that each run finds it started.
wineserver -p >/dev/null 2>&1 || true

# CPU seconds (user+sys) that the running wineservers have used so far (all of them: another
# prefix's server, if any, idles).
server_cpu() {
  local pid total=0
  for pid in $(pgrep wineserver || true); do
    total=$(awk -v hz="$(getconf CLK_TCK)" -v t="$total" '{print t + ($14 + $15) / hz}' \
      "/proc/$pid/stat" 2>/dev/null || echo "$total")
  done
  echo "$total"
}
# Sum of the sizes of every file below a directory.
tree_bytes() { find "$1" -type f -printf '%s\n' | awk '{s += $1} END {print s + 0}'; }

# One copy: prints "cpu wall bytes server_cpu".
run_copy() {
  local build=$1 target=$2 before after
  rm -rf "$target"
  before=$(server_cpu)
  if [ "$build" = linux ]; then
    /usr/bin/time -f '%U %S %e' -o "$work/time.txt" "$linux/repcopy" "$source" "$target" \
      >/dev/null 2>&1 || true
  else
    /usr/bin/time -f '%U %S %e' -o "$work/time.txt" wine "$windows/repcopy.exe" "$source" \
      "$target" >/dev/null 2>&1 || true
  fi
  after=$(server_cpu)
  read -r user sys wall <"$work/time.txt"
  awk -v u="$user" -v s="$sys" -v w="$wall" -v b="$(tree_bytes "$target")" -v x="$before" \
    -v y="$after" 'BEGIN {printf "%.2f %.2f %d %.2f\n", u + s, w, b, y - x}'
}

for run in $(seq "$runs"); do
  read -r lcpu lwall lbytes _ < <(run_copy linux "$work/linux-copy")
  read -r wcpu wwall wbytes wserver < <(run_copy windows "$work/windows-copy")
  echo "$lcpu $wcpu" >>"$work/cpu.txt"
  awk -v r="$run" -v lc="$lcpu" -v lw="$lwall" -v lb="$lbytes" -v wc="$wcpu" -v ww="$wwall" \
    -v wb="$wbytes" -v ws="$wserver" 'BEGIN {
      printf "run %d: linux %.2f s CPU (%.2f s wall), %d bytes; windows %.2f s CPU + %.2f s server (%.2f s wall), %d bytes; CPU ratio %.2f, size %+.3f %%\n",
        r, lc, lw, lb, wc, ws, ww, wb, wc / lc, (wb - lb) * 100 / lb }'
done
sort -n -k1 "$work/cpu.txt" | awk '{l[NR] = $1} END {printf "median linux CPU %.2f s", l[int((NR + 1) / 2)]}'
sort -n -k2 "$work/cpu.txt" | awk '{w[NR] = $2} END {printf ", median windows CPU %.2f s\n", w[int((NR + 1) / 2)]}'
if [ "$diff" = 1 ]; then
  echo "windows copy against the linux copy (Linux build's repdump diff):"
  "$linux/repdump" diff "$work/linux-copy" "$work/windows-copy" | tail -1
fi
