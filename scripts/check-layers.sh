#!/usr/bin/env bash
# Fails when a folder includes a folder it must not. The folders form layers; each may include
# only the folders listed for it here (and itself). This table is the one place the allowed
# directions are written; the README draws it.
set -euo pipefail
cd "$(dirname "$0")/.."

declare -A allowed=(
  [platform]=""
  [compression]=""
  [util]="platform"
  [model]="util"
  [filters]="model util"
  [records]="model compression util"
  [container]="records compression model util"
  [copy]="filters model util platform"
  [source]="container records filters compression model util platform"
  [writer]="container records compression model util platform"
  [audit]="source writer copy container records filters compression model util platform"
  [app]="audit source writer copy container records filters compression model util platform"
  [tools]="app audit source writer copy container records filters compression model util platform"
  [bench]="app audit source writer copy container records filters compression model util platform"
)

status=0
for folder in "${!allowed[@]}"; do
  [ -d "$folder" ] || continue
  while IFS=: read -r file line text; do
    included=$(sed -E 's/.*#include "([A-Za-z0-9_]+)\/.*/\1/' <<<"$text")
    [ "$included" = "$folder" ] && continue
    [ -d "$included" ] || continue  # not one of our folders (for example a generated header)
    if [[ " ${allowed[$folder]} " != *" $included "* ]]; then
      echo "layer violation: $file:$line: $folder/ must not include $included/ ($text)"
      status=1
    fi
  done < <(grep -rn --include='*.h' --include='*.cpp' --include='*.rc' -E '^\s*#\s*include "[A-Za-z0-9_]+/' "$folder" || true)
done
for folder in */; do
  folder=${folder%/}
  case "$folder" in build*|tests|fuzz|scripts|sample|cmake) continue ;; esac
  if [ -z "${allowed[$folder]+set}" ] && compgen -G "$folder/*.[ch]*" >/dev/null; then
    echo "layer check: folder $folder/ holds code but has no entry in scripts/check-layers.sh"
    status=1
  fi
done
# Below app/ nothing prints by itself: every line goes to the message sink the entry point hands
# down (util/message_sink.h). platform/ may still set up and flush the process's streams.
while IFS= read -r hit; do
  echo "console write below app/ (use the message sink): $hit"
  status=1
done < <(
  grep -rnE --include='*.h' --include='*.cpp' \
    'std::(cout|cerr|clog)|(^|[^a-z_])(printf|puts)[[:space:]]*\(|f(printf|puts)[[:space:]]*\((stdout|stderr)' \
    util model filters records container copy source writer audit 2>/dev/null || true
  grep -rnE --include='*.h' --include='*.cpp' 'std::(cout|cerr|clog)[[:space:]]*<<|printf[[:space:]]*\(' \
    platform 2>/dev/null | grep -v 'snprintf' || true
)
[ $status -eq 0 ] && echo "layers: every include goes down; nothing below app/ writes to the console"
exit $status
