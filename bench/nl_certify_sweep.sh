#!/usr/bin/env bash
# Every answer "optimal" must be optimal: runs each .nl model through `kavro --solution` (or
# `qarnhost --solution` with -q) and checks the returned point with bench/nl_certify, which
# evaluates it afresh with the reader's evaluator (rows, bounds, objective, and the reduced
# gradient with the returned multipliers), independent of the optimizer. One TSV line a model:
#   model  exit  certified  objective  primal_rel  dual_rel  reported_objective
# exit is the command's exit status (0 optimal, 1 other optimizer exit, 2 refused, 137/152 the
# CPU limit). Then a summary: how many ended optimal, and every model that ended optimal without
# passing its certificate (there should be none); the script exits 1 when there is one.
#
# Usage: bench/nl_certify_sweep.sh [-t CPU_SECONDS] [-q] [-k PROGRAM] [MODEL...]
# Without models every model of ../shared/data/nl/INDEX.tsv is run (5 s CPU each by default).
set -uo pipefail
here="$(cd "$(dirname "$0")/.." && pwd)"
data="${KAVRO_NL_DATA:-$here/../shared/data/nl}"
program="$here/build/release/apps/kavro"
certify="${KAVRO_CERTIFY:-$here/build/release/bench/nl_certify}"  # the checker (a copy may be given)
limit=5
while getopts "t:qk:" opt; do
  case $opt in
    t) limit="$OPTARG" ;;
    q) program="$here/build/release/apps/qarnhost" ;;
    k) program="$OPTARG" ;;
    *) echo "usage: $0 [-t CPU_SECONDS] [-q] [-k PROGRAM] [MODEL...]" >&2; exit 2 ;;
  esac
done
shift $((OPTIND - 1))
for tool in "$program" "$certify"; do [ -x "$tool" ] || { echo "not built: $tool" >&2; exit 2; }; done
program="$(cd "$(dirname "$program")" && pwd)/$(basename "$program")"
if [ $# -eq 0 ]; then
  set -- $(awk -F'\t' 'NR > 1 { print $1 }' "$data/INDEX.tsv")
fi

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
results="$work/results.tsv"
for name in "$@"; do
  file="$(awk -F'\t' -v n="$name" '$1 == n { print $2 }' "$data/INDEX.tsv")"
  [ -n "$file" ] || { echo "no model $name" >&2; continue; }
  dir="$(mktemp -d "$work/run.XXXXXX")"
  ( cd "$dir" && ulimit -t "$limit" && "$program" --quiet --solution s.json "$data/$file" > out.txt 2>&1 )
  status=$?
  line="-	-	-	-	-"
  if [ -s "$dir/s.json" ]; then
    c="$("$certify" "$data/$file" "$dir/s.json" 2>/dev/null)"
    line="$(printf '%s\n' "$c" | awk -F'\t' '$1 == "certified" && $3 == "error" { print $2 "\terror\t-\t-\t-"; next }
      $1 == "certified" { print $2 "\t" $4 "\t" $7 "\t" $10 "\t" $12 }')"
    [ -n "$line" ] || line="0	error	-	-	-"
  fi
  printf '%s\t%s\t%s\n' "$name" "$status" "$line" | tee -a "$results"
  rm -rf "$dir"
done

optimal=$(awk -F'\t' '$2 == 0' "$results" | wc -l)
failed=$(awk -F'\t' '$2 == 0 && $3 != 1' "$results" | wc -l)
echo "# models $(wc -l < "$results"), ended optimal $optimal, optimal without a passing certificate $failed"
awk -F'\t' '$2 == 0 && $3 != 1 { print "# NOT CERTIFIED: " $0 }' "$results"
[ "$failed" -eq 0 ]
