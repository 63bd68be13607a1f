#!/usr/bin/env bash
# Two kavro builds side by side on MPS files, runs alternating (A, B, A, B, ...), for changes
# that must not change the iteration path: one TSV line per problem
#   problem  itns_a  itns_b  wall_a  wall_b  cpu_a  cpu_b  cpu_ratio
# (medians of RUNS runs, default 3; cpu is user + system of the process, steadier than wall
# time on a shared machine; cpu_ratio = cpu_b / cpu_a), then the geometric mean of cpu_ratio
# over the problems with the same iterations in both and at least 0.05 s of cpu in A.
#
# Usage: bench/compare_builds.sh -a KAVRO_A -b KAVRO_B [-s SPECS] [-r RUNS] [FILE.mps[.gz]...]
# (default: every Netlib problem). TIMEOUT (seconds, default 900) limits each run.
set -uo pipefail
here="$(cd "$(dirname "$0")/.." && pwd)"
. "$here/bench/lp_common.sh"
runs=3
a=""; b=""; specs=""
while getopts "a:b:s:r:" opt; do
  case $opt in
    a) a="$(cd "$(dirname "$OPTARG")" && pwd)/$(basename "$OPTARG")" ;;
    b) b="$(cd "$(dirname "$OPTARG")" && pwd)/$(basename "$OPTARG")" ;;
    s) specs="$(cd "$(dirname "$OPTARG")" && pwd)/$(basename "$OPTARG")" ;;
    r) runs="$OPTARG" ;;
    *) echo "usage: $0 -a KAVRO_A -b KAVRO_B [-s SPECS] [-r RUNS] [FILE...]" >&2; exit 2 ;;
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
  for ((i = 0; i < runs; i++)); do
    out_file="$work/a.txt"; (cd "$work" && time_with_cpu "$a" "${args[@]}" "$file") >> "$work/a.times"; echo >> "$work/a.times"
    out_file="$work/b.txt"; (cd "$work" && time_with_cpu "$b" "${args[@]}" "$file") >> "$work/b.times"; echo >> "$work/b.times"
  done
  ia="$(kavro_fields "$work/a.txt" | cut -f3)"; ib="$(kavro_fields "$work/b.txt" | cut -f3)"
  wa="$(cut -d' ' -f1 "$work/a.times" | median)"; wb="$(cut -d' ' -f1 "$work/b.times" | median)"
  ca="$(cut -d' ' -f2 "$work/a.times" | median)"; cb="$(cut -d' ' -f2 "$work/b.times" | median)"
  printf '%s\t%s\t%s\t%s\t%s\t%s\t%s\t%s\n' "$name" "$ia" "$ib" "$wa" "$wb" "$ca" "$cb" \
    "$(awk -v x="$ca" -v y="$cb" 'BEGIN { if (x > 0) printf "%.3f", y / x; else print "-" }')"
done
} | tee "$work/table.tsv"
awk -F'\t' 'NR > 1 && $2 == $3 && $6 >= 0.05 && $8 != "-" { n++; s += log($8) }
  END { if (n) printf "# %d problems with the same iterations and >= 0.05 s: geometric mean cpu_b / cpu_a %.3f\n", n, exp(s / n) }' "$work/table.tsv"
