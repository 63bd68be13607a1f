#!/usr/bin/env bash
# Runs lu_bench and lu_compare_suitesparse over every basis of the index, the two in turn on each
# basis (so that a change of the machine's speed falls on both), and prints one line per basis
# and the geometric means of the ratios (TRIAX against KLU and UMFPACK), with the sparse solves
# against TRIAX's own dense ones.
#
#   bench/lu_compare.sh [BUILD_DIR] [BASES_DIR]
#
# BUILD_DIR defaults to build/release, BASES_DIR to ../shared/data/bases (from the project root).
# The rows are also left in /tmp/lu_compare_rows.tsv.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="${1:-$root/build/release}"
bases="${2:-$root/../shared/data/bases}"
bench="$build/bench/lu_bench"
compare="$build/bench/lu_compare_suitesparse"
for exe in "$bench" "$compare"; do
  [[ -x "$exe" ]] || { echo "missing $exe (build the release preset with SuiteSparse installed)" >&2; exit 1; }
done

printf 'name\tm\tfactor_us\tklu_factor_us\tsolve_us\tsolvet_us\tbest_solve_us\tbest_solvet_us\tlu_nnz\tbest_fill\treplace_us\tresidual\tsparse_solve_us\tsparse_solvet_us\tclock_us\n'
tail -n +2 "$bases/INDEX.tsv" | while IFS=$'\t' read -r name m rest; do
  repl="$bases/repl/$name.mtx.gz"
  [[ -f "$repl" ]] || repl=""
  out="$("$bench" "$bases/$name.mtx.gz" $repl)"
  ours="$(echo "$out" | sed -n 2p)"
  resid="$(echo "$out" | sed -n 3p | cut -f2)"
  theirs="$("$compare" "$bases/$name.mtx.gz" | sed -n 2p)"
  paste <(echo "$ours") <(echo "$theirs") | awk -F'\t' -v OFS='\t' -v resid="$resid" '{
    # ours: name m nnz factor solve solvet lu_nnz replace sparse_solve sparse_solvet
    # theirs: n kf ks kst kfill uf us ust ufill clock
    bs = ($13 < $17) ? $13 : $17; bst = ($14 < $18) ? $14 : $18; bf = ($15 < $19) ? $15 : $19
    print $1, $2, $4, $12, $5, $6, bs, bst, $7, bf, $8, resid, $9, $10, $20 }'
done | tee /tmp/lu_compare_rows.tsv
awk -F'\t' '{
  n++; f += log($3 / $4); s += log($5 / $7); st += log($6 / $8); fill += log($9 / $10)
  if ($2 >= 1000 && $11 > 0) { nb++; r += log($4 / $11) }
  if ($2 >= 1000 && $13 > 0) { ns++; sp += log($13 / $5); spt += log($14 / $6) }
} END {
  printf "\ngeometric means over %d bases (TRIAX / baseline):\n", n
  printf "  factorization / KLU                     %6.2f\n", exp(f / n)
  printf "  solve B  / faster of KLU, UMFPACK       %6.2f\n", exp(s / n)
  printf "  solve B(transposed) / faster of both   %6.2f\n", exp(st / n)
  printf "  fill / smaller of KLU, UMFPACK          %6.2f\n", exp(fill / n)
  if (nb > 0) printf "  KLU factorization / one replacement    %6.1f   (%d bases with m >= 1000)\n", exp(r / nb), nb
  if (ns > 0) {
    printf "sparse right-hand sides over %d bases with m >= 1000 (TRIAX sparse / TRIAX dense):\n", ns
    printf "  B x = a_q                               %6.2f\n", exp(sp / ns)
    printf "  B'"'"' y = e_r                             %6.2f\n", exp(spt / ns)
    printf "  both                                    %6.2f\n", exp((sp + spt) / (2 * ns))
  }
}' /tmp/lu_compare_rows.tsv
