#!/usr/bin/env bash
# The linear models of the .nl set solved two ways by the kavro command: from the .nl file and
# from an MPS copy written by bench/nl_to_mps.py (its own reader of the .nl file, not ours; the
# objective row last, as in the problem made from the .nl file, so that both runs see the same
# problem in the same order), with GLPK's solution of the same MPS copy as a third opinion. One TSV line per model:
#   model  sense  nl_exit  nl_objective  mps_exit  mps_objective  glpk_objective  rel_diff
# rel_diff = |nl - mps| / max(1, |mps|); a summary line starting with '#' follows.
#
# Models: those of INDEX.tsv whose constraints are all linear (class LC) and whose objective is
# linear or absent, unless names are given.
#
# Usage: bench/nl_lp_compare.sh [-k KAVRO] [-d DATA] [NAME...]
#   -k  the kavro command (default build/release/apps/kavro)
#   -d  the model folder (default ../shared/data/nl, or $NL_DATA)
# Dependencies: python3, glpsol (Debian glpk-utils; its column is "-" without it).
set -uo pipefail
here="$(cd "$(dirname "$0")/.." && pwd)"
kavro="$here/build/release/apps/kavro"
data="${NL_DATA:-$here/../shared/data/nl}"
while getopts "k:d:" opt; do
  case $opt in
    k) kavro="$OPTARG" ;;
    d) data="$OPTARG" ;;
    *) echo "usage: $0 [-k KAVRO] [-d DATA] [NAME...]" >&2; exit 2 ;;
  esac
done
shift $((OPTIND - 1))
[ -x "$kavro" ] || { echo "kavro not built: $kavro" >&2; exit 2; }
if [ $# -eq 0 ]; then
  set -- $(awk -F'\t' 'NR > 1 && $17 == "LC" && ($15 == "linear" || $15 == "none") {print $1}' "$data/INDEX.tsv")
fi
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

objective_of() {  # the summary's objective value, or "-"
  awk '/Objective value/ {print $NF; found=1} END {if (!found) print "-"}' "$1"
}

printf 'model\tsense\tnl_exit\tnl_objective\tmps_exit\tmps_objective\tglpk_objective\trel_diff\n'
same=0; total=0
for name in "$@"; do
  file="$(awk -F'\t' -v n="$name" '$1 == n {print $2}' "$data/INDEX.tsv")"
  [ -n "$file" ] || { echo "no model $name" >&2; continue; }
  total=$((total + 1))
  python3 "$here/bench/nl_to_mps.py" "$data/$file" "$work/$name.mps" 2> "$work/convert.txt"
  sense="$(awk '/^sense/ {print $2}' "$work/convert.txt")"
  constant="$(awk '/^constant/ {print $2}' "$work/convert.txt")"
  [ -n "$sense" ] || sense="?"
  "$kavro" --quiet "$data/$file" > "$work/nl.out" 2>&1
  nl_exit=$?
  if [ "$sense" = max ]; then
    printf 'BEGIN\n  Maximize\nEND\n' > "$work/max.spc"
    "$kavro" --quiet --free-mps --specs "$work/max.spc" "$work/$name.mps" > "$work/mps.out" 2>&1
  else
    "$kavro" --quiet --free-mps "$work/$name.mps" > "$work/mps.out" 2>&1
  fi
  mps_exit=$?
  glpk="-"
  if command -v glpsol > /dev/null; then
    # GLPK reads the objective row's RHS otherwise and takes no starting point: it solves the
    # copy without them, and the constant is added to its result.
    grep -v -e '^ rhs obj ' -e '^ FX INITIAL ' "$work/$name.mps" > "$work/glpk.mps"
    glpsol --freemps "$work/glpk.mps" "--$sense" -o "$work/glpk.txt" > /dev/null 2>&1 &&
      glpk="$(awk -v c="${constant:-0}" '/^Objective:/ {printf "%.10g", $4 + c}' "$work/glpk.txt")"
  fi
  nl_obj="$(objective_of "$work/nl.out")"
  mps_obj="$(objective_of "$work/mps.out")"
  rel="$(awk -v a="$nl_obj" -v b="$mps_obj" 'BEGIN {
    if (a == "-" || b == "-") { print "-"; exit }
    d = a - b; if (d < 0) d = -d; s = b < 0 ? -b : b; if (s < 1) s = 1; printf "%.2e", d / s }')"
  if [ "$rel" != "-" ] && awk -v r="$rel" 'BEGIN {exit !(r <= 1e-9)}'; then same=$((same + 1)); fi
  printf '%s\t%s\t%s\t%s\t%s\t%s\t%s\t%s\n' "$name" "$sense" "$nl_exit" "$nl_obj" "$mps_exit" "$mps_obj" "$glpk" "$rel"
done
echo "# $total models; the .nl and MPS objectives agree to 1e-9 on $same"
