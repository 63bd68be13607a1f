#!/usr/bin/env bash
# Runs lu_bench and lu_compare_suitesparse over every basis of the index and prints one line per
# basis and the geometric means of the ratios (TRIAX against KLU and UMFPACK).
#
#   bench/lu_compare.sh [BUILD_DIR] [BASES_DIR]
#
# BUILD_DIR defaults to build/release, BASES_DIR to ../shared/data/bases (from the project root).
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="${1:-$root/build/release}"
bases="${2:-$root/../shared/data/bases}"
bench="$build/bench/lu_bench"
compare="$build/bench/lu_compare_suitesparse"
for exe in "$bench" "$compare"; do
  [[ -x "$exe" ]] || { echo "missing $exe (build the release preset with SuiteSparse installed)" >&2; exit 1; }
done

printf 'name\tm\tfactor_us\tklu_factor_us\tsolve_us\tsolvet_us\tbest_solve_us\tbest_solvet_us\tlu_nnz\tbest_fill\treplace_us\tresidual\n'
tail -n +2 "$bases/INDEX.tsv" | while IFS=$'\t' read -r name m rest; do
  repl="$bases/repl/$name.mtx.gz"
  [[ -f "$repl" ]] || repl=""
  out="$("$bench" "$bases/$name.mtx.gz" $repl)"
  ours="$(echo "$out" | sed -n 2p)"
  resid="$(echo "$out" | sed -n 3p | cut -f2)"
  theirs="$("$compare" "$bases/$name.mtx.gz" | sed -n 2p)"
  paste <(echo "$ours") <(echo "$theirs") | awk -F'\t' -v OFS='\t' -v resid="$resid" '{
    # ours: name m nnz factor solve solvet lu_nnz replace | theirs: n kf ks kst kfill uf us ust ufill
    bs = ($11 < $15) ? $11 : $15; bst = ($12 < $16) ? $12 : $16; bf = ($13 < $17) ? $13 : $17
    print $1, $2, $4, $10, $5, $6, bs, bst, $7, bf, $8, resid }'
done | tee /tmp/lu_compare_rows.tsv
awk -F'\t' '{
  n++; f += log($3 / $4); s += log($5 / $7); st += log($6 / $8); fill += log($9 / $10)
  if ($2 >= 1000 && $11 > 0) { nb++; r += log($4 / $11) }
} END {
  printf "\ngeometric means over %d bases (TRIAX / baseline):\n", n
  printf "  factorization / KLU                     %6.2f\n", exp(f / n)
  printf "  solve B  / faster of KLU, UMFPACK       %6.2f\n", exp(s / n)
  printf "  solve B(transposed) / faster of both   %6.2f\n", exp(st / n)
  printf "  fill / smaller of KLU, UMFPACK          %6.2f\n", exp(fill / n)
  if (nb > 0) printf "  KLU factorization / one replacement    %6.1f   (%d bases with m >= 1000)\n", exp(r / nb), nb
}' /tmp/lu_compare_rows.tsv
