#!/usr/bin/env bash
# Generates the model families with known solutions (bench/families/generate.py) and runs
# `kavro --solution` on each under a CPU limit, certifies every answer with bench/nl_certify (the
# reader's own evaluator, independent of the optimizer) and prints one TSV line a model:
#
#   model n m known_ok  exit certified curvature objective known_objective rel_error solved cpu_seconds
#   [peer_exit peer_certified peer_curvature peer_objective peer_rel_error peer_solved peer_cpu_seconds]
#
# known_ok    1 when the constructed answer (NAME.known.json) itself passes nl_certify: a check
#             of the generator;
# exit        the optimizer's exit code (0 optimal, 1 infeasible, 2 unbounded, 3 iterations
#             limit, 4 the objective has not changed, 6 function undefined, 9 cannot be improved,
#             10 numerical error, 11 no superbasic to replace a basic, 13 near-optimal, 18 CPU
#             limit, ...) of every run the command made, in order ("2,0": the first run ended
#             unbounded, the repeat optimal), "cpu" last when the process was stopped by the
#             limit, "-" when it gave none; for the peer, Ipopt's status;
# certified   nl_certify's verdict on the returned point: every bound and row within 1e-6 and
#             the reduced gradient of the true Lagrangian within 1e-6, unscaled;
# curvature   for a certified answer to a model of at most 3,000 variables, bench/nl_curvature's
#             second-order test: "negative" when the Lagrangian's Hessian has a direction of
#             negative curvature along the active rows and bounds (a saddle point, not a
#             minimum), "ok" otherwise; "-" when not run;
# rel_error   |objective - known| / max(1, |known|);
# solved      1 when the solver claimed success (exit 0; the peer Solve_Succeeded), the answer
#             is certified and rel_error <= 1e-6.
#
# The peer (bench/nlp_ipopt, Ipopt with exact second derivatives; built when Debian's
# coinor-libipopt-dev is installed) is run right after kavro on each model, under the same limit
# and clock, and its answer certified the same way. Every run is pinned to one core (PIN_CPU,
# default 0, see bench/lp_common.sh).
#
# Usage: bench/families/run.sh [-t CPU_SECONDS] [-d DIR] [-s] [-n] [-k KAVRO] [-o TABLE] [PREFIX...]
#   -t  CPU limit of each run (default 60)
#   -d  generate into DIR and keep it (an existing DIR/KNOWN.tsv is reused); default: a scratch
#       folder, removed at the end (the large models are written on demand, never committed)
#   -s  only the small instances (those copied into tests/data/nl/families)
#   -n  no peer
#   -o  also write the table to TABLE
#   PREFIX  only the models whose names start with one of them
set -uo pipefail
here="$(cd "$(dirname "$0")/../.." && pwd)"
kavro="$here/build/release/apps/kavro"
certify="${KAVRO_CERTIFY:-$here/build/release/bench/nl_certify}"
curvature="$here/build/release/bench/nl_curvature"
peer="$here/build/release/bench/nlp_ipopt"
python=/usr/bin/python3
limit=60
dir=""
small=""
usePeer=1
table=""
while getopts "t:d:snk:o:" opt; do
  case $opt in
    t) limit="$OPTARG" ;;
    d) dir="$OPTARG" ;;
    s) small="--small" ;;
    n) usePeer=0 ;;
    k) kavro="$OPTARG" ;;
    o) table="$OPTARG" ;;
    *) sed -n '/^# Usage/,/^set /p' "$0" | sed '$d; s/^# \{0,1\}//' >&2; exit 2 ;;
  esac
done
shift $((OPTIND - 1))
for tool in "$kavro" "$certify" "$curvature"; do [ -x "$tool" ] || { echo "not built: $tool" >&2; exit 2; }; done
kavro="$(cd "$(dirname "$kavro")" && pwd)/$(basename "$kavro")"
[ -x "$peer" ] || usePeer=0
source "$here/bench/lp_common.sh"  # pinned=(taskset -c 0) when the core may be used

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
if [ -z "$dir" ]; then dir="$work/models"; fi
mkdir -p "$dir" || exit 2
dir="$(cd "$dir" && pwd)"
if [ ! -s "$dir/KNOWN.tsv" ]; then
  "$python" "$here/bench/families/generate.py" "$dir" $small "$@" > /dev/null || exit 2
fi

# certified objective rel_error (tab-separated) of answer $2 to model $1 with known objective $3.
certify_answer() {
  local model="$1" answer="$2" known="$3" c
  if [ ! -s "$answer" ]; then printf -- '-\t-\t-'; return; fi
  c="$("$certify" "$model" "$answer" 2>/dev/null)"
  printf '%s\n' "$c" | awk -F'\t' -v known="$known" '
    $1 == "certified" && $3 == "error" { printf "0\terror\t-"; done = 1; next }
    $1 == "certified" { d = $4 - known; if (d < 0) d = -d; s = known < 0 ? -known : known; if (s < 1) s = 1
                        printf "%s\t%.10g\t%.2e", $2, $4, d / s; done = 1 }
    END { if (!done) printf "0\t-\t-" }'
}

# ok|negative|- : the second-order test of answer $2 to model $1 when the certificate line $3
# says certified (models of up to 3,000 variables; the test is dense).
curvature_of() {
  local verdict
  case "$3" in 1*) ;; *) printf -- '-'; return ;; esac
  verdict="$("$curvature" --max-free 3000 "$1" "$2" 2>/dev/null | cut -f2)"
  case "$verdict" in ok|negative) printf '%s' "$verdict" ;; *) printf -- '-' ;; esac
}

# The processor seconds /usr/bin/time wrote (user + system; the last line: a killed run's has a
# note before it).
cpu_of() { awk 'END { printf "%.2f", $1 + $2 }' "$1" 2>/dev/null; }

run_kavro() {
  local model="$1" known="$2" run="$work/kavro" status code line
  rm -rf "$run" && mkdir -p "$run"
  ( cd "$run" && ulimit -t "$limit" && /usr/bin/time -f "%U %S" -o "$run/time" \
      "${pinned[@]}" "$kavro" --quiet --solution s.json "$model" > out.txt 2>&1 )
  status=$?
  # Every run's exit, in order (the command solves a model again after some failures; the last
  # is the answer's).
  code="$(awk '/EXIT --/ {
      if ($0 ~ /optimal solution found/) c = 0; else if ($0 ~ /infeasible/) c = 1;
      else if ($0 ~ /unbounded/) c = 2; else if ($0 ~ /too many iterations|Major iterations/) c = 3;
      else if ($0 ~ /not changed/) c = 4; else if ($0 ~ /superbasics limit/) c = 5;
      else if ($0 ~ /function not defined|Termination requested/) c = 6;
      else if ($0 ~ /cannot be improved/) c = 9; else if ($0 ~ /numerical error/) c = 10;
      else if ($0 ~ /cannot find a superbasic/) c = 11; else if ($0 ~ /twice in a row/) c = 12;
      else if ($0 ~ /near-optimal/) c = 13; else if ($0 ~ /CPU limit/) c = 18; else c = "other"
      all = all (all == "" ? "" : ",") c }
      END { print (all == "" ? "-" : all) }' "$run/out.txt")"
  { [ "$status" -eq 152 ] || [ "$status" -eq 137 ]; } && code="${code#-}${code:+,}cpu" && code="${code#,}"
  line="$(certify_answer "$model" "$run/s.json" "$known")"
  printf '%s\t%s\t%s\t%s\t%s' "$code" "$line" "$(curvature_of "$model" "$run/s.json" "$line")" \
    "$(solved "$code" 0 "$line")" "$(cpu_of "$run/time")"
}

run_peer() {
  local model="$1" known="$2" run="$work/peer" status code line
  rm -rf "$run" && mkdir -p "$run"
  # In the scratch folder: Ipopt reads an ipopt.opt it finds in the working folder.
  ( cd "$run" && ulimit -t "$limit" && /usr/bin/time -f "%U %S" -o "$run/time" \
      "${pinned[@]}" "$peer" -t "$limit" -s s.json "$model" > out.txt 2> err.txt )
  status=$?
  code="$(awk -F'\t' '{ c = $3 } END { print (c == "" ? "-" : c) }' "$run/out.txt")"
  { [ "$status" -eq 152 ] || [ "$status" -eq 137 ]; } && code=cpu
  line="$(certify_answer "$model" "$run/s.json" "$known")"
  printf '%s\t%s\t%s\t%s\t%s' "$code" "$line" "$(curvature_of "$model" "$run/s.json" "$line")" \
    "$(solved "$code" Solve_Succeeded "$line")" "$(cpu_of "$run/time")"
}

# 1 when exit $1 is the success $2 and the certificate line $3 is certified within 1e-6.
solved() {
  printf '%s\n' "$3" | awk -F'\t' -v e="${1##*,}" -v ok="$2" '{ print (e == ok && $1 == 1 && $3 != "-" && $3 + 0 <= 1e-6) ? 1 : 0 }'
}

header='model\tn\tm\tknown_ok\texit\tcertified\tcurvature\tobjective\tknown_objective\trel_error\tsolved\tcpu_seconds'
[ "$usePeer" = 1 ] && header="$header"'\tpeer_exit\tpeer_certified\tpeer_curvature\tpeer_objective\tpeer_rel_error\tpeer_solved\tpeer_cpu_seconds'
results="$work/results.tsv"
printf "$header\n" | tee "$results"
echo "# load before: $(uptime)" >&2
while IFS=$'\t' read -r name file n m known convex family note; do
  [ "$name" = model ] && continue
  if [ $# -gt 0 ]; then
    keep=0
    for p in "$@"; do case "$name" in "$p"*) keep=1 ;; esac; done
    [ "$keep" = 1 ] || continue
  fi
  model="$dir/$file"
  knownOk="$(certify_answer "$model" "$dir/$name.known.json" "$known" | cut -f1)"
  k="$(run_kavro "$model" "$known")"
  # exit certified objective rel_error curvature solved cpu -> exit certified curvature objective
  # known_objective rel_error solved cpu
  k="$(printf '%s\n' "$k" | awk -F'\t' -v OFS='\t' -v known="$known" '{ print $1, $2, $5, $3, known, $4, $6, $7 }')"
  p=""
  if [ "$usePeer" = 1 ]; then
    p="$(run_peer "$model" "$known" | awk -F'\t' -v OFS='\t' '{ print $1, $2, $5, $3, $4, $6, $7 }')"
  fi
  line="$name	$n	$m	$knownOk	$k"
  [ "$usePeer" = 1 ] && line="$line	$p"
  printf '%s\n' "$line" | tee -a "$results"
done < "$dir/KNOWN.tsv"
echo "# load after: $(uptime)" >&2
awk -F'\t' -v peer="$usePeer" 'NR > 1 { n++; k += $11; p += $18; if ($4 != 1) bad = bad " " $1 }
  END { printf "# models %d, solved by kavro %d", n, k; if (peer == 1) printf ", by the peer %d", p
        printf "\n"; if (bad != "") printf "# CONSTRUCTION NOT CERTIFIED:%s\n", bad }' "$results" >&2
[ -z "$table" ] || cp "$results" "$table"
