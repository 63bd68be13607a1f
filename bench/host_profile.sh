#!/usr/bin/env bash
# What the host path itself costs, measured inside one qarnhost process rather than as the
# difference of two noisy whole-process times: perf samples the run and the shares of the link's
# own work (kavReadyAPI: options and set-up; transferModel: the model copied into the optimizer;
# returnSolution: statuses and records written back) are set against the optimizer's solve.
# The host reading its MPS file is the stand-in host's business, not the library's, and is shown
# apart. One TSV line per problem:
#   problem  solve%  ready%  transfer%  return%  host_mps%  overhead = (ready+transfer+return)/solve
#
# Usage: bench/host_profile.sh [-b BUILD] FILE.mps[.gz]...      (needs Linux perf)
set -uo pipefail
here="$(cd "$(dirname "$0")/.." && pwd)"
build="$here/build/release"
while getopts "b:" opt; do
  case $opt in
    b) build="$OPTARG" ;;
    *) echo "usage: $0 [-b BUILD] FILE..." >&2; exit 2 ;;
  esac
done
shift $((OPTIND - 1))
build="$(cd "$build" && pwd)" || exit 2
[ -x "$build/apps/qarnhost" ] || { echo "qarnhost is not built in $build" >&2; exit 2; }
[ $# -gt 0 ] || { echo "usage: $0 [-b BUILD] FILE..." >&2; exit 2; }
command -v perf >/dev/null || { echo "needs perf (Debian linux-perf)" >&2; exit 2; }

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
printf 'problem\tsolve%%\tready%%\ttransfer%%\treturn%%\thost_mps%%\toverhead\n'
for file in "$@"; do
  file="$(realpath -- "$file")"
  name="$(basename "$file")"; name="${name%.gz}"; name="${name%.mps}"
  (cd "$work" && perf record -q -F 5000 --call-graph dwarf -o "$work/p.data" \
     "$build/apps/qarnhost" "$file" > /dev/null 2>&1)
  perf report -i "$work/p.data" --children --stdio 2>/dev/null | awk -v name="$name" '
    function share(sym) { return (sym in pct) ? pct[sym] : 0 }
    /^ +[0-9.]+% +[0-9.]+% / { s = $NF; v = $1; sub("%", "", v); if (!(s in pct)) pct[s] = v }
    END {
      solve = share("kavro::Optimizer::solve"); ready = share("kavReadyAPI")
      transfer = share("kavro::link::transferModel"); ret = share("kavro::link::returnSolution")
      host = share("qarn::loadMpsModel")
      printf "%s\t%.2f\t%.2f\t%.2f\t%.2f\t%.2f\t%.4f\n", name, solve, ready, transfer, ret, host,
             (solve > 0 ? (ready + transfer + ret) / solve : 0)
    }'
done
