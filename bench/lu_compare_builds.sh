#!/usr/bin/env bash
# TRIAX before and after a change against KLU and UMFPACK: for every basis of the index, lu_bench
# of build A, lu_bench of build B (which of the two goes first alternates from basis to basis) and
# lu_compare_suitesparse of build B, in turn; PASSES passes over the bases. Prints one line per
# basis with, for each program and column, the smaller figure of the passes, then the geometric
# means. Batches last BENCH_BATCH_SECONDS (default here 0.05 s) for all three programs.
#
#   bench/lu_compare_builds.sh BUILD_A BUILD_B [BASES_DIR] [PASSES]
#
# Columns: name m factor_us_a factor_us_b klu_factor_us solve_us solvet_us best_solve_us
# best_solvet_us lu_nnz best_fill replace_us sparse_solve_us sparse_solvet_us clock_us load
# (build B's figures where one build is meant; load is the highest 1-minute load average seen).
set -uo pipefail
export BENCH_BATCH_SECONDS="${BENCH_BATCH_SECONDS:-0.05}"
root="$(cd "$(dirname "$0")/.." && pwd)"
[[ $# -ge 2 ]] || { echo "usage: $0 BUILD_A BUILD_B [BASES_DIR] [PASSES]" >&2; exit 2; }
bench_a="$1/bench/lu_bench"
bench_b="$2/bench/lu_bench"
peers="$2/bench/lu_compare_suitesparse"
bases="${3:-$root/../shared/data/bases}"
passes="${4:-2}"
for exe in "$bench_a" "$bench_b" "$peers"; do
  [[ -x "$exe" ]] || { echo "missing $exe" >&2; exit 1; }
done
raw="$(mktemp)"
trap 'rm -f "$raw"' EXIT
for ((pass = 0; pass < passes; pass++)); do
  k=0
  while IFS=$'\t' read -r name rest; do
    repl="$bases/repl/$name.mtx.gz"
    [[ -f "$repl" ]] || repl=""
    if ((k % 2 == 0)); then
      a="$("$bench_a" "$bases/$name.mtx.gz" $repl | sed -n 2p)"; b="$("$bench_b" "$bases/$name.mtx.gz" $repl | sed -n 2p)"
    else
      b="$("$bench_b" "$bases/$name.mtx.gz" $repl | sed -n 2p)"; a="$("$bench_a" "$bases/$name.mtx.gz" $repl | sed -n 2p)"
    fi
    p="$("$peers" "$bases/$name.mtx.gz" | sed -n 2p)"
    printf 'a\t%s\nb\t%s\nP\t%s\tload=%s\n' "$a" "$b" "$p" "$(cut -d' ' -f1 /proc/loadavg)" >> "$raw"
    k=$((k + 1))
  done < <(tail -n +2 "$bases/INDEX.tsv")
done
awk -F'\t' -v OFS='\t' '
function mn(a, b) { return (a == "" || b + 0 < a + 0) ? b : a }
$1 == "a" || $1 == "b" {
  x = $2; cur = x; m[x] = $3
  for (c = 5; c <= 11; c++) v[$1, x, c] = mn(v[$1, x, c], $c)
  if (!(x in seen)) { seen[x] = 1; order[++n] = x }
}
$1 == "P" { for (c = 3; c <= 11; c++) v["P", cur, c] = mn(v["P", cur, c], $c); split($12, L, "="); if (L[2] > ld[cur]) ld[cur] = L[2] }
END {
  print "name", "m", "factor_us_a", "factor_us_b", "klu_factor_us", "solve_us", "solvet_us", "best_solve_us",
        "best_solvet_us", "lu_nnz", "best_fill", "replace_us", "sparse_solve_us", "sparse_solvet_us", "clock_us", "load"
  for (k = 1; k <= n; k++) {
    x = order[k]; kf = v["P", x, 3]
    bs = mn(v["P", x, 4], v["P", x, 8]); bst = mn(v["P", x, 5], v["P", x, 9]); bf = mn(v["P", x, 6], v["P", x, 10])
    print x, m[x], v["a", x, 5], v["b", x, 5], kf, v["b", x, 6], v["b", x, 7], bs, bst, v["b", x, 8], bf,
          v["b", x, 9], v["b", x, 10], v["b", x, 11], v["P", x, 11], ld[x]
    fa += log(v["a", x, 5] / kf); fb += log(v["b", x, 5] / kf); fab += log(v["b", x, 5] / v["a", x, 5])
    s += log(v["b", x, 6] / bs); st += log(v["b", x, 7] / bst); fill += log(v["b", x, 8] / bf)
    if (m[x] >= 1000 && v["b", x, 9] > 0) { nr++; r += log(kf / v["b", x, 9]) }
    if (m[x] >= 1000 && v["b", x, 10] > 0) { ns++; sp += log(v["b", x, 10] / v["b", x, 6]); spt += log(v["b", x, 11] / v["b", x, 7]) }
  }
  printf "\ngeometric means over %d bases:\n", n
  printf "  factorization / KLU: A %.2f  B %.2f   B / A %.3f\n", exp(fa / n), exp(fb / n), exp(fab / n)
  printf "  B: solve / faster peer %.2f, transposed %.2f, fill / smaller %.2f\n", exp(s / n), exp(st / n), exp(fill / n)
  if (nr > 0) printf "  B: KLU factorization / one replacement %.1f (%d bases with m >= 1000)\n", exp(r / nr), nr
  if (ns > 0) printf "  B: sparse / dense solve, m >= 1000 (%d): B x = a_q %.2f, B'"'"' y = e_r %.2f, both %.2f\n", ns,
                     exp(sp / ns), exp(spt / ns), exp((sp + spt) / (2 * ns))
}' "$raw"
