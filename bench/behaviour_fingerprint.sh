#!/usr/bin/env bash
# The observable behaviour of a kavro build, for changes that must change none of it: every
# print file, summary file, standard output and JSON solution of a fixed set of runs, with the
# times masked, written to OUTDIR one directory per run. Two builds behave the same when
#   diff -r OUTDIR_A OUTDIR_B
# finds nothing (-c BASELINE does that diff at the end and exits 1 when anything differs).
#
# The runs:
#   lp/   the Netlib problems of tests/data and of the shared data with default options (the
#         ones that take more than about 2 s left out), and every one but dfl001 and pilot87
#         with "Pricing option 2";
#   nl/   the nonlinear regression models of tests/data/nl/regression and the models of
#         tests/data/nl, and a sample of the shared .nl models with linear and with nonlinear
#         constraints (runs that end without a solution, that the command solves again, that
#         it sizes with "Hessian memory 30"), all with the command's defaults, and a few with
#         "Hessian memory 5" from a SPECS file;
#   host/ qarnhost on a few MPS and .nl problems (when -q names it), with the solver library -l
#         (default: the one qarnhost was built with).
#
# Usage: bench/behaviour_fingerprint.sh -k KAVRO [-q QARNHOST [-l LIBRARY]] [-j JOBS] [-c BASELINE] OUTDIR
set -uo pipefail
here="$(cd "$(dirname "$0")/.." && pwd)"
kavro=""; qarnhost=""; jobs=2; baseline=""
while getopts "k:q:l:j:c:" opt; do
  case $opt in
    k) kavro="$(cd "$(dirname "$OPTARG")" && pwd)/$(basename "$OPTARG")" ;;
    q) qarnhost="$(cd "$(dirname "$OPTARG")" && pwd)/$(basename "$OPTARG")" ;;
    l) export KAVRO_LIBRARY="$(cd "$(dirname "$OPTARG")" && pwd)/$(basename "$OPTARG")" ;;
    j) jobs="$OPTARG" ;;
    c) baseline="$OPTARG" ;;
    *) echo "usage: $0 -k KAVRO [-q QARNHOST] [-j JOBS] [-c BASELINE] OUTDIR" >&2; exit 2 ;;
  esac
done
shift $((OPTIND - 1))
[ $# -eq 1 ] && [ -x "$kavro" ] || { echo "usage: $0 -k KAVRO [-q QARNHOST] [-j JOBS] [-c BASELINE] OUTDIR" >&2; exit 2; }
out="$1"
shared="$(cd "$here/../shared/data" 2>/dev/null && pwd)" || { echo "shared data not found beside $here" >&2; exit 2; }
tests="$here/tests/data"
mkdir -p "$out" || exit 2
out="$(cd "$out" && pwd)"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

printf 'BEGIN\n Pricing option 2\nEND\n' > "$work/pricing2.spc"
printf 'BEGIN\n Hessian memory 5\nEND\n' > "$work/memory5.spc"

# Netlib problems that take more than about 2 s with the default pricing.
slow_default=" dfl001 d2q06c d6cube pilot87 fit2p pilot greenbea degen3 greenbeb maros-r7 "
slow_pricing2=" dfl001 pilot87 "
# Shared .nl models: runs that end without a solution (some solved again by the command), runs
# of 0.02 s to 1 s, and models of more than 2000 nonlinear variables.
lc_models="bratu1d dixmaanj ex6_2_5 fletcbv3 fletchbv flosp2hh himmelbj indef nonmsqrt nonscomp static3
  3pk biggsb1 chenhark cvxbqp1 deconvc dixmaana explin2 hadamals hatfldh hues-mod hydc20ls jnlbrng1
  ncvxbqp1 oslbqp palmer1a pentdi powell20 probpenl qudlin sineali torsion1 ubh1 weeds"
nc_models="argauss bearing demo7 disc2 discs-uno ex1 ex5 ex5_3_3 ex7_3_6 ex8_3_14 ex8_5_2 fletcher
  himmelbd hs085 hs114-uno isolated launch lewispol lnts50 nactive polak3 semicon1 unique
  airport aljazzaf bt11 catena chain25 cresc4 dtoc1l elec25 errinros haifas hs100 hs108
  minsurf orthregb robot spiral swopf
  bdvalue bratu2d broydnbd cbratu3d chandheq dtoc5 ex8_3_13 ex8_3_5 gpp hs102 lakes optcdeg3 polak4 semicon2"
memory_models="dixmaana 3pk hs071 hatfldh"

cases="$work/cases"
: > "$cases"
add() { printf '%s\n' "$*" >> "$cases"; }   # NAME KIND ARGS...
for f in "$tests"/netlib/*.mps.gz "$shared"/netlib/*.mps.gz; do
  name="$(basename "$f" .mps.gz)"
  [[ $slow_default == *" $name "* ]] || add "lp/default-$name" kavro "$f"
  [[ $slow_pricing2 == *" $name "* ]] || add "lp/pricing2-$name" kavro --specs "$work/pricing2.spc" "$f"
done
for f in "$tests"/nl/regression/*.nl "$tests"/nl/*.nl "$tests"/nl/*.nl.gz; do
  [ -f "$f" ] || continue
  add "nl/$(basename "$f")" kavro-nl "$f"
done
for name in $lc_models $nc_models; do
  f="$shared/nl/$name.nl"; [ -f "$f" ] || f="$f.gz"
  [ -f "$f" ] && add "nl/shared-$name" kavro-nl "$f"
done
for name in $memory_models; do
  f="$shared/nl/$name.nl"; [ -f "$f" ] || f="$f.gz"; [ -f "$f" ] || f="$tests/nl/$name.nl"
  [ -f "$f" ] && add "nl/memory5-$name" kavro-nl --specs "$work/memory5.spc" "$f"
done
if [ -n "$qarnhost" ]; then
  for f in "$here/examples/afiro.mps" "$tests/netlib/scagr7.mps.gz" "$tests/nl/hs071.nl" "$tests/nl/optctrl6.nl" \
           "$tests/nl/water.nl"; do
    [ -f "$f" ] && add "host/$(basename "$f")" qarnhost "$f"
  done
fi

# Times change from run to run; the checkout's and the data's places may differ between two
# worktrees.
mask() {
  sed -E -e 's/^( Time +for .*[^ ]) +[0-9.]+ seconds$/\1 (time) seconds/' \
         -e 's/"(time|seconds|cpuSeconds|wallSeconds)": [-0-9.e+]+/"\1": (time)/' \
         -e "s#$here#ROOT#g" -e "s#$shared#DATA#g" -e "s#$work#WORK#g" "$1"
}
export -f mask

run_case() {
  local name="$1" kind="$2"; shift 2
  local dir="$out/$name" tmp
  tmp="$(mktemp -d "$work/run.XXXXXX")"
  mkdir -p "$dir"
  case $kind in
    kavro) (cd "$tmp" && "$kavro" --quiet --print run.print --summary run.summary "$@" > stdout.txt 2>&1; echo "status $?" >> stdout.txt) ;;
    kavro-nl) (cd "$tmp" && "$kavro" --quiet --print run.print --summary run.summary --solution run.json "$@" > stdout.txt 2>&1
               echo "status $?" >> stdout.txt) ;;
    qarnhost) (cd "$tmp" && "$qarnhost" --env "ScrDir=$tmp" --solution run.json "$@" > stdout.txt 2>&1; echo "status $?" >> stdout.txt) ;;
  esac
  for f in "$tmp"/*; do [ -f "$f" ] && mask "$f" > "$dir/$(basename "$f")"; done
  rm -rf "$tmp"
}
export -f run_case
export out work here shared kavro qarnhost

echo "# $(wc -l < "$cases") runs into $out" >&2
xargs -P "$jobs" -L 1 bash -c 'run_case "$@"' _ < "$cases"

if [ -n "$baseline" ]; then
  if diff -r "$baseline" "$out" > "$work/diff.txt"; then
    echo "# identical to $baseline" >&2
  else
    echo "# differs from $baseline in $(grep -c '^diff -r' "$work/diff.txt") files:" >&2
    grep '^diff -r\|^Only in' "$work/diff.txt" >&2
    exit 1
  fi
fi
