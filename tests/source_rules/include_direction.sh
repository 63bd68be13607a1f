#!/usr/bin/env bash
# Dependencies between the folders of src/ point one way: each folder includes only folders on
# lower lines of layers.txt (beside this script), so that, for example, the run driver calls the
# optimizer and never the other way. Lists every include that breaks the order, and every folder
# missing from layers.txt.
# Usage: include_direction.sh SOURCE_ROOT
set -uo pipefail
root="${1:?usage: include_direction.sh SOURCE_ROOT}"
declare -A level
n=0
while read -r line; do
  [[ -z "$line" || "$line" == \#* ]] && continue
  for folder in $line; do level[$folder]=$n; done
  n=$((n + 1))
done < "$(dirname "$0")/layers.txt"

status=0
for dir in "$root"/src/*/; do
  folder="$(basename "$dir")"
  if [[ ! -v level[$folder] ]]; then
    echo "src/$folder/ is not in tests/source_rules/layers.txt: give it its level there"
    status=1
    continue
  fi
  while IFS=: read -r file line text; do
    target="$(sed -E 's/.*#include "([^/"]+)\/.*/\1/' <<< "$text")"
    [[ "$target" == "$folder" ]] && continue
    if [[ ! -v level[$target] ]]; then
      [[ -d "$root/src/$target" ]] || continue  # an interface outside src/ (kavro/, qarn/)
    fi
    if (( level[$target] >= level[$folder] )); then
      echo "${file#"$root"/}:$line: src/$folder/ includes $target/, which is not below it"
      status=1
    fi
  done < <(grep -rHn --include='*.cpp' --include='*.hpp' --include='*.h' \
             '^[[:space:]]*#[[:space:]]*include[[:space:]]*"[^"/]*/' "$dir")
done
(( status == 0 )) && echo "every include in src/ points to a lower folder"
exit $status
