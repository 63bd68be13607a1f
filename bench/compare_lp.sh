#!/usr/bin/env bash
# Side-by-side comparison of kavro with GLPK's primal simplex and Clp's primal simplex (Debian
# packages glpk-utils and coinor-clp; a solver that is not installed is left out) on MPS files.
# Each -s SPECS adds a kavro column set run with that SPECS file (default: kavro's defaults).
# One TSV line per problem:
#   problem  {<variant>_exit <variant>_relerr <variant>_itns <variant>_s <variant>_cleanup}...
#            glpk_ok glpk_itns glpk_s  clp_ok clp_itns clp_s
# (cleanup: the times the run went on after failing the optimality check on the unscaled problem)
# then, for each kavro variant, the shifted geometric means (shift 1 s) of the times over the
# problems that every variant and every peer solves, and the total iterations over them.
# Every solver reads the same uncompressed file. Times are whole-process wall times, pinned to
# one core (PIN_CPU, see lp_common.sh), the median of RUNS runs (default 3); the runs alternate
# solver by solver (every variant, GLPK, Clp, then again), so that a change of machine speed
# during the run falls on all of them alike.
#
# Usage: bench/compare_lp.sh [-k KAVRO] [-r RUNS] [-s SPECS]... [FILE.mps[.gz]...]
#        (default: every Netlib problem)
# TIMEOUT (seconds, default 900) limits each run.
set -uo pipefail
here="$(cd "$(dirname "$0")/.." && pwd)"
. "$here/bench/lp_common.sh"
kavro="${KAVRO:-$here/build/release/apps/kavro}"
runs=3
variants=()
while getopts "k:r:s:" opt; do
  case $opt in
    k) kavro="$OPTARG" ;;
    r) runs="$OPTARG" ;;
    s) variants+=("$(cd "$(dirname "$OPTARG")" && pwd)/$(basename "$OPTARG")") ;;
    *) echo "usage: $0 [-k KAVRO] [-r RUNS] [-s SPECS]... [FILE...]" >&2; exit 2 ;;
  esac
done
shift $((OPTIND - 1))
find_netlib_data "$here" || exit 2
[ $# -eq 0 ] && set -- $(netlib_files)
[ -x "$kavro" ] || { echo "kavro not built: $kavro" >&2; exit 2; }
kavro="$(cd "$(dirname "$kavro")" && pwd)/$(basename "$kavro")"
[ ${#variants[@]} -eq 0 ] && variants=("")
have_glpk=0; command -v glpsol >/dev/null && have_glpk=1
have_clp=0; command -v clp >/dev/null && have_clp=1
[ $have_glpk = 1 ] || echo "# glpsol not found (apt-get install glpk-utils): GLPK left out" >&2
[ $have_clp = 1 ] || echo "# clp not found (apt-get install coinor-clp): Clp left out" >&2

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

label() { [ -z "$1" ] && echo kavro || echo "$(basename "${1%.*}")"; }
header="problem"
for v in "${variants[@]}"; do l="$(label "$v")"; header+="\t${l}_exit\t${l}_relerr\t${l}_itns\t${l}_s\t${l}_cleanup"; done
header+="\tglpk_ok\tglpk_itns\tglpk_s\tclp_ok\tclp_itns\tclp_s"
{
printf "$header\n"
for file in "$@"; do
  name="$(problem_name "$file")"
  plain="$work/$name.mps"
  case "$file" in *.gz) zcat "$file" > "$plain" ;; *) cp "$file" "$plain" ;; esac
  declare -A times=()
  for ((i = 0; i < runs; i++)); do
    for ((v = 0; v < ${#variants[@]}; v++)); do
      args=(--quiet)
      [ -n "${variants[$v]}" ] && args+=(--specs "${variants[$v]}")
      out_file="$work/kavro$v.txt"
      times[k$v]+="$(cd "$work" && time_once "$kavro" "${args[@]}" "$plain") "
    done
    out_file="$work/glpk.txt"
    [ $have_glpk = 1 ] && times[g]+="$(time_once glpsol --primal --mps "$plain") "
    out_file="$work/clp.txt"
    [ $have_clp = 1 ] && times[c]+="$(time_once clp "$plain" -primalS) "
  done
  line="$name"
  for ((v = 0; v < ${#variants[@]}; v++)); do
    IFS=$'\t' read -r e o it c <<<"$(kavro_fields "$work/kavro$v.txt")"
    line+="\t$e\t$(relative_error "$o" "$name")\t$it\t$(tr ' ' '\n' <<<"${times[k$v]}" | grep . | median)\t$c"
  done
  if [ $have_glpk = 1 ]; then
    ok="$(grep -q 'OPTIMAL LP SOLUTION FOUND' "$work/glpk.txt" && echo 1 || echo 0)"
    it="$(grep -E '^\*' "$work/glpk.txt" | tail -1 | awk '{print $2}' | tr -d ':')"
    line+="\t$ok\t${it:--}\t$(tr ' ' '\n' <<<"${times[g]}" | grep . | median)"
  else
    line+="\t-\t-\t-"
  fi
  if [ $have_clp = 1 ]; then
    ok="$(grep -q 'Optimal objective' "$work/clp.txt" && echo 1 || echo 0)"
    it="$(grep -oE 'Optimal objective [^ ]+ - [0-9]+ iterations' "$work/clp.txt" | awk '{print $5}')"
    line+="\t$ok\t${it:--}\t$(tr ' ' '\n' <<<"${times[c]}" | grep . | median)"
  else
    line+="\t-\t-\t-"
  fi
  printf "$line\n"
  unset times
  rm -f "$plain"
done
} | tee "$work/table.tsv"

# Summary: problems that every kavro variant solves optimally and every peer present solves.
awk -F'\t' -v nv=${#variants[@]} '
  NR == 1 { for (v = 0; v < nv; v++) { name[v] = $(2 + 5 * v); sub(/_exit$/, "", name[v]) } next }
  {
    g = 2 + 5 * nv; c = g + 3
    for (v = 0; v < nv; v++) if ($(2 + 5 * v) != "0") next
    if ($g == "0" || $c == "0") next
    n++
    for (v = 0; v < nv; v++) { lk[v] += log($(5 + 5 * v) + 1); ik[v] += $(4 + 5 * v) }
    if ($g == "1") { lg += log($(g + 2) + 1); ig += $(g + 1) }
    if ($c == "1") { lc += log($(c + 2) + 1); ic += $(c + 1) }
  }
  END {
    if (n == 0) exit
    G = exp(lg / n) - 1; C = exp(lc / n) - 1
    printf "# %d problems solved by all\n", n
    printf "# shifted geometric mean time (s): glpk %.3f  clp %.3f;  total iterations: glpk %d  clp %d\n", G, C, ig, ic
    for (v = 0; v < nv; v++) {
      K = exp(lk[v] / n) - 1
      printf "# %s: time %.3f", name[v], K
      if (lg != 0) printf "  /glpk %.2f", K / G
      if (lc != 0) printf "  /clp %.2f", K / C
      printf ";  iterations %d", ik[v]
      if (ig != 0) printf "  /glpk %.2f", ik[v] / ig
      printf "\n"
    }
  }' "$work/table.tsv"
