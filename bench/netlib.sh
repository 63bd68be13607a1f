#!/usr/bin/env bash
# Runs the stand-alone kavro command over MPS files and prints one TSV line per problem:
#   problem  exit  objective  rel_error  iterations  seconds  cleanup
# cleanup counts the times the run went on after its point failed the optimality check on the
# unscaled problem (0 when it was optimal for it at once).
# rel_error is measured against the cross-checked optimal value of ../shared/data/netlib/REFERENCE.tsv
# (the published value where no checked value exists); absolute error where the reference is 0.
# seconds is the whole-process wall time, the median of RUNS runs (default 3).
#
# TIMEOUT (seconds, default 900) limits each run.
#
# Usage: bench/netlib.sh [-k KAVRO] [-r RUNS] [-s SPECS] [FILE.mps[.gz]...]
# Without files, every problem of ../shared/data/netlib is run.
set -uo pipefail
here="$(cd "$(dirname "$0")/.." && pwd)"
kavro="${KAVRO:-$here/build/release/apps/kavro}"
runs=3
specs=""
while getopts "k:r:s:" opt; do
  case $opt in
    k) kavro="$OPTARG" ;;
    r) runs="$OPTARG" ;;
    s) specs="$OPTARG" ;;
    *) echo "usage: $0 [-k KAVRO] [-r RUNS] [-s SPECS] [FILE...]" >&2; exit 2 ;;
  esac
done
shift $((OPTIND - 1))
# The shared data lie beside the project, or one level further up for a worktree.
data="${NETLIB_DATA:-}"
for base in "$here/.." "$here/../.."; do
  [ -z "$data" ] && [ -f "$base/shared/data/netlib/REFERENCE.tsv" ] && data="$base/shared/data/netlib"
done
[ -n "$data" ] || { echo "Netlib data not found: set NETLIB_DATA" >&2; exit 2; }
reference="$data/REFERENCE.tsv"
if [ $# -eq 0 ]; then
  set -- $(awk -F'\t' '!/^#/ && $3 != "-" && $3 != "file" {print "'"$data"'/" $3}' "$reference")
fi
[ -x "$kavro" ] || { echo "kavro not built: $kavro" >&2; exit 2; }
kavro="$(cd "$(dirname "$kavro")" && pwd)/$(basename "$kavro")"

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
printf 'problem\texit\tobjective\trel_error\titerations\tseconds\tcleanup\n'
for file in "$@"; do
  name="$(basename "$file")"; name="${name%.gz}"; name="${name%.mps}"
  ref="$(awk -F'\t' -v n="$name" '$1 == n { print ($10 != "" ? $10 : $8) }' "$reference")"
  times=()
  for ((i = 0; i < runs; i++)); do
    start=$(date +%s.%N)
    args=(--quiet)
    [ -n "$specs" ] && args+=(--specs "$specs")
    (cd "$work" && timeout "${TIMEOUT:-900}" "$kavro" "${args[@]}" "$file" > "$work/out.txt" 2>&1)
    status=$?
    end=$(date +%s.%N)
    times+=("$(awk -v a="$start" -v b="$end" 'BEGIN { printf "%.3f", b - a }')")
  done
  seconds="$(printf '%s\n' "${times[@]}" | sort -g | awk '{a[NR]=$1} END {printf "%.3f", a[int((NR+1)/2)]}')"
  exitcode="$(awk '/EXIT --/ { if ($0 ~ /near-optimal/) c=13; else if ($0 ~ /optimal solution found/) c=0; else if ($0 ~ /infeasible/) c=1; else if ($0 ~ /unbounded/) c=2; \
      else if ($0 ~ /too many iterations/) c=3; else if ($0 ~ /not changed/) c=4; else c="other"; print c; exit }' "$work/out.txt")"
  [ -z "$exitcode" ] && exitcode="status$status"
  objective="$(awk '/Objective value/ { print $NF; exit }' "$work/out.txt")"
  iterations="$(awk '/No. of iterations/ { print $4; exit }' "$work/out.txt")"
  relerr="$(awk -v o="$objective" -v r="$ref" 'BEGIN { if (o == "" || r == "") { print "-"; exit }
      d = o - r; if (d < 0) d = -d; s = r < 0 ? -r : r; if (s == 0) printf "%.2e", d; else printf "%.2e", d / s }')"
  cleanup="$(grep -c 'not optimal for the unscaled problem' "$work/out.txt")"
  printf '%s\t%s\t%s\t%s\t%s\t%s\t%s\n' "$name" "$exitcode" "${objective:--}" "$relerr" "${iterations:--}" "$seconds" "$cleanup"
done
