#!/usr/bin/env bash
# Two kavro builds side by side on MPS files, runs alternating (A, B, A, B, ...), for changes
# that must not change the iteration path: one TSV line per problem
#   problem  itns_a  itns_b  wall_a  wall_b  cpu_a  cpu_b  cpu_ratio
# (medians of RUNS runs, default 3; cpu is user + system of the process, steadier than wall
# time on a shared machine; cpu_ratio = cpu_b / cpu_a), then the geometric mean of cpu_ratio
# over the problems with the same iterations in both and at least 0.05 s of cpu in A.
#
# With -p (paired) A and B run at the same time, each pinned to one of cores 0 and 1, the cores
# swapped from run to run: a change of machine speed then falls on both alike, and the swap
# cancels the difference between the cores (up to 40% on the benchmark machine). Use an even
# RUNS; cpu_ratio is then the geometric mean of the runs' ratios, the cpu columns their medians.
#
# Usage: bench/compare_builds.sh -a KAVRO_A -b KAVRO_B [-p] [-s SPECS] [-r RUNS] [FILE.mps[.gz]...]
# (default: every Netlib problem). TIMEOUT (seconds, default 900) limits each run.
set -uo pipefail
here="$(cd "$(dirname "$0")/.." && pwd)"
. "$here/bench/lp_common.sh"
runs=3
a=""; b=""; specs=""
paired=0
while getopts "a:b:s:r:p" opt; do
  case $opt in
    a) a="$(cd "$(dirname "$OPTARG")" && pwd)/$(basename "$OPTARG")" ;;
    b) b="$(cd "$(dirname "$OPTARG")" && pwd)/$(basename "$OPTARG")" ;;
    s) specs="$(cd "$(dirname "$OPTARG")" && pwd)/$(basename "$OPTARG")" ;;
    r) runs="$OPTARG" ;;
    p) paired=1 ;;
    *) echo "usage: $0 -a KAVRO_A -b KAVRO_B [-p] [-s SPECS] [-r RUNS] [FILE...]" >&2; exit 2 ;;
  esac
done
shift $((OPTIND - 1))
[ -x "$a" ] && [ -x "$b" ] || { echo "usage: $0 -a KAVRO_A -b KAVRO_B [-s SPECS] [-r RUNS] [FILE...]" >&2; exit 2; }
find_netlib_data "$here" || exit 2
[ $# -eq 0 ] && set -- $(netlib_files)
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
args=(--quiet)
[ -n "$specs" ] && args+=(--specs "$specs")

{
printf 'problem\titns_a\titns_b\twall_a\twall_b\tcpu_a\tcpu_b\tcpu_ratio\n'
for file in "$@"; do
  name="$(problem_name "$file")"
  : > "$work/a.times"; : > "$work/b.times"
  : > "$work/ratios"
  for ((i = 0; i < runs; i++)); do
    if ((paired)); then
      (PIN_CPU=$((i % 2)); . "$here/bench/lp_common.sh"; out_file="$work/a.txt"
       cd "$work" && time_with_cpu "$a" "${args[@]}" "$file" > "$work/a.now") &
      (PIN_CPU=$((1 - i % 2)); . "$here/bench/lp_common.sh"; out_file="$work/b.txt"
       cd "$work" && time_with_cpu "$b" "${args[@]}" "$file" > "$work/b.now") &
      wait
      cat "$work/a.now" >> "$work/a.times"; echo >> "$work/a.times"
      cat "$work/b.now" >> "$work/b.times"; echo >> "$work/b.times"
      paste -d' ' "$work/a.now" "$work/b.now" | awk '$2 > 0 { print log($4 / $2) }' >> "$work/ratios"
    else
      out_file="$work/a.txt"; (cd "$work" && time_with_cpu "$a" "${args[@]}" "$file") >> "$work/a.times"; echo >> "$work/a.times"
      out_file="$work/b.txt"; (cd "$work" && time_with_cpu "$b" "${args[@]}" "$file") >> "$work/b.times"; echo >> "$work/b.times"
    fi
  done
  ia="$(kavro_fields "$work/a.txt" | cut -f3)"; ib="$(kavro_fields "$work/b.txt" | cut -f3)"
  wa="$(cut -d' ' -f1 "$work/a.times" | median)"; wb="$(cut -d' ' -f1 "$work/b.times" | median)"
  ca="$(cut -d' ' -f2 "$work/a.times" | median)"; cb="$(cut -d' ' -f2 "$work/b.times" | median)"
  if ((paired)) && [ -s "$work/ratios" ]; then
    ratio="$(awk '{ s += $1; n++ } END { printf "%.3f", exp(s / n) }' "$work/ratios")"
  else
    ratio="$(awk -v x="$ca" -v y="$cb" 'BEGIN { if (x > 0) printf "%.3f", y / x; else print "-" }')"
  fi
  printf '%s\t%s\t%s\t%s\t%s\t%s\t%s\t%s\n' "$name" "$ia" "$ib" "$wa" "$wb" "$ca" "$cb" "$ratio"
done
} | tee "$work/table.tsv"
awk -F'\t' 'NR > 1 && $2 == $3 && $6 >= 0.05 && $8 != "-" { n++; s += log($8) }
  END { if (n) printf "# %d problems with the same iterations and >= 0.05 s: geometric mean cpu_b / cpu_a %.3f\n", n, exp(s / n) }' "$work/table.tsv"
