#!/usr/bin/env bash
# Larger sparse LPs than Netlib's, made by bench/lp_generator, solved by kavro (with each -s
# SPECS, default "Pricing option 2") and by GLPK's primal simplex (glpsol --primal; left out
# when glpk-utils is not installed). One TSV line per instance:
#   instance rows columns nonzeros  {<variant>_exit <variant>_itns <variant>_s}...  glpk_ok glpk_itns glpk_s  objective_diff
# objective_diff is the largest relative difference of the objectives found (kavro variants and
# GLPK). Times are whole-process wall times, the median of RUNS runs (default 1), alternating
# between the solvers. No storage option is given: kavro sizes its storage itself.
#
# Usage: bench/large_lp.sh [-k KAVRO] [-g GENERATOR] [-r RUNS] [-s SPECS]... [KIND:SIZE[:SEED]...]
# Default instances: network:12000 network:60000 random:3000 covering:2000 staircase:20
# staircase:167 (the last has 20,040 rows). TIMEOUT (seconds, default 3600) limits each run.
set -uo pipefail
here="$(cd "$(dirname "$0")/.." && pwd)"
. "$here/bench/lp_common.sh"
kavro="${KAVRO:-$here/build/release/apps/kavro}"
generator="$here/build/release/bench/lp_generator"
runs=1
variants=()
while getopts "k:g:r:s:" opt; do
  case $opt in
    k) kavro="$OPTARG" ;;
    g) generator="$OPTARG" ;;
    r) runs="$OPTARG" ;;
    s) variants+=("$(cd "$(dirname "$OPTARG")" && pwd)/$(basename "$OPTARG")") ;;
    *) echo "usage: $0 [-k KAVRO] [-g GENERATOR] [-r RUNS] [-s SPECS]... [KIND:SIZE[:SEED]...]" >&2; exit 2 ;;
  esac
done
shift $((OPTIND - 1))
[ $# -eq 0 ] && set -- network:12000 network:60000 random:3000 covering:2000 staircase:20 staircase:167
for tool in "$kavro" "$generator"; do [ -x "$tool" ] || { echo "not built: $tool" >&2; exit 2; }; done
export TIMEOUT="${TIMEOUT:-3600}"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
if [ ${#variants[@]} -eq 0 ]; then
  printf 'BEGIN\nPricing option 2\nEND\n' > "$work/steepest.spc"
  variants=("$work/steepest.spc")
fi
have_glpk=0; command -v glpsol >/dev/null && have_glpk=1
[ $have_glpk = 1 ] || echo "# glpsol not found (apt-get install glpk-utils): GLPK left out" >&2

header="instance\trows\tcolumns\tnonzeros"
for v in "${variants[@]}"; do l="$(basename "${v%.*}")"; header+="\t${l}_exit\t${l}_itns\t${l}_s"; done
printf "$header\tglpk_ok\tglpk_itns\tglpk_s\tobjective_diff\n"
for instance in "$@"; do
  IFS=: read -r kind size seed <<<"$instance"
  file="$work/$kind$size.mps"
  "$generator" "$kind" "$size" "${seed:-1}" > "$file" || { echo "generator failed: $instance" >&2; continue; }
  rows="$(awk '/^ROWS/{r=1;next} /^COLUMNS/{r=0} r && $1 != "N" {n++} END {print n}' "$file")"
  columns="$(awk '/^COLUMNS/{c=1;next} /^RHS/{c=0} c && $1 != last {n++; last=$1} END {print n}' "$file")"
  nonzeros="$(awk '/^COLUMNS/{c=1;next} /^RHS/{c=0} c && $2 != "COST" {n++} END {print n}' "$file")"
  declare -A times=()
  for ((i = 0; i < runs; i++)); do
    for ((v = 0; v < ${#variants[@]}; v++)); do
      out_file="$work/kavro$v.txt"
      times[k$v]+="$(cd "$work" && time_once "$kavro" --quiet --specs "${variants[$v]}" "$file") "
    done
    out_file="$work/glpk.txt"
    [ $have_glpk = 1 ] && times[g]+="$(time_once glpsol --primal --mps "$file") "
  done
  line="$kind:$size\t$rows\t$columns\t$nonzeros"
  objectives=()
  for ((v = 0; v < ${#variants[@]}; v++)); do
    IFS=$'\t' read -r e o it c <<<"$(kavro_fields "$work/kavro$v.txt")"
    objectives+=("$o")
    line+="\t$e\t$it\t$(tr ' ' '\n' <<<"${times[k$v]}" | grep . | median)"
  done
  if [ $have_glpk = 1 ]; then
    ok="$(grep -q 'OPTIMAL LP SOLUTION FOUND' "$work/glpk.txt" && echo 1 || echo 0)"
    it="$(grep -E '^\*' "$work/glpk.txt" | tail -1 | awk '{print $2}' | tr -d ':')"
    objectives+=("$(grep -E '^\*' "$work/glpk.txt" | tail -1 | awk '{print $5}')")
    line+="\t$ok\t${it:--}\t$(tr ' ' '\n' <<<"${times[g]}" | grep . | median)"
  else
    line+="\t-\t-\t-"
  fi
  diff="$(printf '%s\n' "${objectives[@]}" | awk '$1 != "-" && $1 != "" { v[n++] = $1 + 0 }
      END { d = 0; for (i = 0; i < n; i++) for (k = 0; k < n; k++) { s = v[k] < 0 ? -v[k] : v[k]; if (s < 1) s = 1
            e = (v[i] - v[k]) / s; if (e < 0) e = -e; if (e > d) d = e }; printf "%.1e", d }')"
  printf "$line\t$diff\n"
  unset times
  rm -f "$file"
done
