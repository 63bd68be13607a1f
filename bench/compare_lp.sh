#!/usr/bin/env bash
# Side-by-side comparison of kavro with GLPK's primal simplex and Clp's primal simplex
# (Debian packages glpk-utils and coinor-clp) on MPS files. One TSV line per problem:
#   problem  kavro_exit kavro_relerr kavro_itns kavro_s  glpk_ok glpk_itns glpk_s  clp_ok clp_itns clp_s
# followed by the shifted geometric means (shift 1 s) of the times over the problems all three
# solve, and the total iterations over the same problems. Times are whole-process wall times,
# the median of RUNS runs (default 3).
#
# Usage: bench/compare_lp.sh [-r RUNS] [FILE.mps[.gz]...]     (default: every Netlib problem)
# TIMEOUT (seconds, default 900) limits each run.
set -uo pipefail
here="$(cd "$(dirname "$0")/.." && pwd)"
runs=3
while getopts "r:" opt; do
  case $opt in
    r) runs="$OPTARG" ;;
    *) echo "usage: $0 [-r RUNS] [FILE...]" >&2; exit 2 ;;
  esac
done
shift $((OPTIND - 1))
# The shared data lie beside the project, or one level further up for a worktree.
data="${NETLIB_DATA:-}"
for base in "$here/.." "$here/../.."; do
  [ -z "$data" ] && [ -f "$base/shared/data/netlib/REFERENCE.tsv" ] && data="$base/shared/data/netlib"
done
[ -n "$data" ] || { echo "Netlib data not found: set NETLIB_DATA" >&2; exit 2; }
if [ $# -eq 0 ]; then
  set -- $(awk -F'\t' '!/^#/ && $3 != "-" && $3 != "file" {print "'"$data"'/" $3}' "$data/REFERENCE.tsv")
fi
command -v glpsol >/dev/null && command -v clp >/dev/null || {
  echo "needs glpsol and clp: apt-get install glpk-utils coinor-clp" >&2; exit 2; }

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

# median wall time of "$@" over $runs runs; the last run's output stays in $work/out.txt
timed() {
  local times=() start end
  for ((i = 0; i < runs; i++)); do
    start=$(date +%s.%N)
    timeout "${TIMEOUT:-900}" "$@" > "$work/out.txt" 2>&1
    end=$(date +%s.%N)
    times+=("$(awk -v a="$start" -v b="$end" 'BEGIN { printf "%.3f", b - a }')")
  done
  printf '%s\n' "${times[@]}" | sort -g | awk '{a[NR]=$1} END {printf "%.3f", a[int((NR+1)/2)]}'
}

printf 'problem\tkavro_exit\tkavro_relerr\tkavro_itns\tkavro_s\tglpk_ok\tglpk_itns\tglpk_s\tclp_ok\tclp_itns\tclp_s\n'
for file in "$@"; do
  name="$(basename "$file")"; name="${name%.gz}"; name="${name%.mps}"
  plain="$work/$name.mps"
  case "$file" in *.gz) zcat "$file" > "$plain" ;; *) cp "$file" "$plain" ;; esac
  k="$("$here/bench/netlib.sh" -r "$runs" "$file" | tail -1)"
  g_s="$(timed glpsol --primal --mps "$plain")"
  g_ok="$(grep -q 'OPTIMAL LP SOLUTION FOUND' "$work/out.txt" && echo 1 || echo 0)"
  g_it="$(grep -E '^\*' "$work/out.txt" | tail -1 | awk '{print $2}' | tr -d ':')"
  c_s="$(timed clp "$plain" -primalS)"
  c_ok="$(grep -q 'Optimal objective' "$work/out.txt" && echo 1 || echo 0)"
  c_it="$(grep -oE 'Optimal objective [^ ]+ - [0-9]+ iterations' "$work/out.txt" | awk '{print $5}')"
  printf '%s\t%s\t%s\t%s\t%s\t%s\t%s\t%s\t%s\t%s\t%s\n' "$name" \
    "$(cut -f2 <<<"$k")" "$(cut -f4 <<<"$k")" "$(cut -f5 <<<"$k")" "$(cut -f6 <<<"$k")" \
    "$g_ok" "${g_it:--}" "$g_s" "$c_ok" "${c_it:--}" "$c_s"
  rm -f "$plain"
done | tee "$work/table.tsv"
awk -F'\t' '$2 == "0" && $6 == 1 && $9 == 1 {
    n++; lk += log($5 + 1); lg += log($8 + 1); lc += log($11 + 1); ik += $4; ig += $7; ic += $10 }
  END { if (n == 0) exit;
    k = exp(lk / n) - 1; g = exp(lg / n) - 1; c = exp(lc / n) - 1
    printf "# %d problems solved by all three\n", n
    printf "# shifted geometric mean time (s): kavro %.3f  glpk %.3f  clp %.3f   kavro/glpk %.2f  kavro/clp %.2f\n", k, g, c, k / g, k / c
    printf "# total iterations: kavro %d  glpk %d  clp %d   kavro/glpk %.2f\n", ik, ig, ic, ik / ig }' "$work/table.tsv"
