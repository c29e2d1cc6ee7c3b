# Sourced by the bench scripts. bench_source REPGEN FLOOR_BENCH DATA_DIR PROFILE EVENTS sets
# $source to the repository of EVENTS events of the repgen profile (seed 11) under DATA_DIR, and
# makes it first when it is missing or unfinished; its .sizes file holds `floor_bench sizes`.
#
# The realistic profile was made harder to pack; its repositories are named realistic-hard-N so
# that the ones made before under realistic-N (the same as `--profile easy` makes now) are never
# taken for it.
bench_source() {
  local repgen=$1 floor=$2 data=$3 profile=$4 events=$5
  local name=$profile
  [ "$profile" = realistic ] && name=realistic-hard
  source="$data/$name-$events"
  if [ ! -f "$source/.complete" ]; then
    rm -rf "$source"
    mkdir -p "$data"
    echo "making $source (repgen --profile $profile, seed 11)" >&2
    nice -n 10 "$repgen" --profile "$profile" "$source" "$events" 11 >/dev/null
    "$floor" sizes "$source" >"$source/.sizes"
    touch "$source/.complete"
  fi
}
