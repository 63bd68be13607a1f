#!/usr/bin/env bash
# Runs the stand-alone kavro command over MPS files and prints one TSV line per problem:
#   problem  exit  objective  rel_error  iterations  seconds  cleanup
# exit: 0 optimal, 13 near-optimal, 1 infeasible, 2 unbounded, 3 too many iterations, 4 objective
# not changed. rel_error is measured against the cross-checked optimal value of
# ../shared/data/netlib/REFERENCE.tsv (the published value where no checked value exists);
# absolute error where the reference is 0. seconds is the whole-process wall time, the median of
# RUNS runs (default 3). cleanup counts the times the run went on after its point failed the
# optimality check on the unscaled problem (0 when it was optimal for it at once).
#
# TIMEOUT (seconds, default 900) limits each run; NETLIB_DATA names the data folder when it is
# not found beside the project.
#
# Usage: bench/netlib.sh [-k KAVRO] [-r RUNS] [-s SPECS] [FILE.mps[.gz]...]
# Without files, every problem of ../shared/data/netlib (or of NETLIB_DIR) is run.
set -uo pipefail
here="$(cd "$(dirname "$0")/.." && pwd)"
. "$here/bench/lp_common.sh"
kavro="${KAVRO:-$here/build/release/apps/kavro}"
runs=3
specs=""
while getopts "k:r:s:" opt; do
  case $opt in
    k) kavro="$OPTARG" ;;
    r) runs="$OPTARG" ;;
    s) specs="$(cd "$(dirname "$OPTARG")" && pwd)/$(basename "$OPTARG")" ;;
    *) echo "usage: $0 [-k KAVRO] [-r RUNS] [-s SPECS] [FILE...]" >&2; exit 2 ;;
  esac
done
shift $((OPTIND - 1))
find_netlib_data "$here" || exit 2
[ $# -eq 0 ] && set -- $(netlib_files)
[ -x "$kavro" ] || { echo "kavro not built: $kavro" >&2; exit 2; }
kavro="$(cd "$(dirname "$kavro")" && pwd)/$(basename "$kavro")"

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
out_file="$work/out.txt"
args=(--quiet)
[ -n "$specs" ] && args+=(--specs "$specs")
printf 'problem\texit\tobjective\trel_error\titerations\tseconds\tcleanup\n'
for file in "$@"; do
  name="$(problem_name "$file")"
  seconds="$(for ((i = 0; i < runs; i++)); do (cd "$work" && time_once "$kavro" "${args[@]}" "$file"); echo; done | median)"
  IFS=$'\t' read -r exitcode objective iterations cleanup <<<"$(kavro_fields "$out_file")"
  printf '%s\t%s\t%s\t%s\t%s\t%s\t%s\n' "$name" "$exitcode" "$objective" "$(relative_error "$objective" "$name")" \
    "$iterations" "$seconds" "$cleanup"
done
