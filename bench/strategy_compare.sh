#!/usr/bin/env bash
# One solver behind every door: each .nl model solved by four front ends, model by model, each
# answer checked by bench/nl_certify (the returned point evaluated afresh with the .nl reader's
# evaluator, independent of the optimizer):
#
#   kavro    `kavro MODEL.nl` (the solve strategy is the command's default for .nl models)
#   host1    `qarnhost` with "solve_strategy 1" in its option file
#   host0    `qarnhost` with the specified defaults (no option file)
#   entry    the C++ solver entry with "Solve strategy 1" (bench/nl_entry)
#   ipopt    the interior-point peer (bench/nlp_ipopt, exact second derivatives, its own defaults);
#            only when asked for with -f
#
# Both qarnhost runs get DomLim=2147483647: the command counts evaluation errors but has no limit
# on them, and the host's default DomLim 0 would end a run at its first error. Every run is
# limited by `ulimit -t` (CPU seconds of the process), pinned to one core with taskset and timed
# by /usr/bin/time (user + system, reading and set-up included). The order of the front ends
# turns round from model to model, so that each meets the machine's load alike.
#
# A front end reports "optimal": kavro and entry exit code 0; qarnhost solve status 1 with model
# status 1, 2 or 16; the peer Solve_Succeeded. The answer is certified when nl_certify passes it (relative primal and dual
# infeasibility within 1e-6). It is solved when it is reported optimal, certified, and (where
# ../shared/data/nl/BEST-KNOWN.tsv has a best objective) within 1e-6 of it relative to
# max(1, |best|).
#
# Writes bench/results/strategy_TAG.tsv, one line per model and front end:
#   model  class  front_end  optimal  certified  objective  primal_rel  dual_rel  best  rel_error  cpu  solved
# and prints the summary: per class and front end the models, reported optimal, certified optimal
# and solved, the shifted geometric mean CPU time (1 s shift) of the front end and of kavro on the
# models both solve, and every answer reported optimal that its certificate does not pass.
#
# Usage: bench/strategy_compare.sh [-c LC|NC|all] [-t CPU_SECONDS] [-o TAG] [-C CORE] [-b BUILD] [-f FRONTS] [MODEL...]
#        bench/strategy_compare.sh -S TABLE.tsv          (the summary of an existing table)
# Defaults: every model of the class (all), 10 s CPU, TAG = CLASS_DATE, core 1, build/release,
# FRONTS = kavro,host1,host0,entry (a comma-separated list; kavro must be among them, since the
# summary times every front end against it).
set -uo pipefail
here="$(cd "$(dirname "$0")/.." && pwd)"
data="${KAVRO_NL_DATA:-$here/../shared/data/nl}"
index="$data/INDEX.tsv"
best="$data/BEST-KNOWN.tsv"
results="$here/bench/results"
build="$here/build/release"
class=all
limit=10
tag=""
core=1
fronts_list=kavro,host1,host0,entry

summary() {
  awk -F'\t' '
    NR == 1 { next }
    {
      m = $1; c = $2; f = $3; cls[m] = c; fronts[f] = 1; classes[c] = 1
      key = c SUBSEP f
      total[key]++; total["all" SUBSEP f]++
      if ($4 == 1) { opt[key]++; opt["all" SUBSEP f]++ }
      if ($4 == 1 && $5 == 1) { cert[key]++; cert["all" SUBSEP f]++ }
      if ($4 == 1 && $5 != 1) bad[++nbad] = m " (" f ")"
      if ($12 == 1) { solved[m, f] = 1; sol[key]++; sol["all" SUBSEP f]++ }
      cpu[m, f] = $11
      models[m] = 1
    }
    END {
      classes["all"] = 1
      printf "%-5s %-6s %7s %8s %10s %7s %6s %10s %10s %6s\n", "class", "front", "models", "optimal", "certified",
             "solved", "both", "sgm_front", "sgm_kavro", "ratio"
      for (c in classes) for (f in fronts) {
        key = c SUBSEP f
        if (!(key in total)) continue
        n = 0; a = 0; b = 0
        for (m in models) {
          if (c != "all" && cls[m] != c) continue
          if (solved[m, f] && solved[m, "kavro"]) { n++; a += log(cpu[m, f] + 1); b += log(cpu[m, "kavro"] + 1) }
        }
        if (n > 0) printf "%-5s %-6s %7d %8d %10d %7d %6d %10.4f %10.4f %6.3f\n", c, f, total[key], opt[key],
                          cert[key], sol[key], n, exp(a / n) - 1, exp(b / n) - 1, (exp(a / n) - 1) / (exp(b / n) - 1)
        else printf "%-5s %-6s %7d %8d %10d %7d %6d %10s %10s %6s\n", c, f, total[key], opt[key], cert[key], sol[key],
                    0, "-", "-", "-"
      }
      printf "reported optimal without a passing certificate: %d\n", nbad
      for (k = 1; k <= nbad; k++) printf "  %s\n", bad[k]
    }' "$1"
}

if [ "${1:-}" = "-S" ]; then
  [ $# -eq 2 ] || { echo "usage: $0 -S TABLE.tsv" >&2; exit 2; }
  summary "$2"
  exit 0
fi
while getopts "c:t:o:C:b:f:" opt; do
  case $opt in
    c) class="$OPTARG" ;;
    t) limit="$OPTARG" ;;
    o) tag="$OPTARG" ;;
    C) core="$OPTARG" ;;
    b) build="$OPTARG" ;;
    f) fronts_list="$OPTARG" ;;
    *) echo "usage: $0 [-c LC|NC|all] [-t CPU_SECONDS] [-o TAG] [-C CORE] [-b BUILD] [-f FRONTS] [MODEL...]" >&2; exit 2 ;;
  esac
done
shift $((OPTIND - 1))
build="$(cd "$build" && pwd)"
kavro="$build/apps/kavro" qarnhost="$build/apps/qarnhost" entry="$build/bench/nl_entry" certify="$build/bench/nl_certify"
ipopt="$build/bench/nlp_ipopt"
IFS=, read -r -a fronts <<< "$fronts_list"
needed=("$certify")
for front in "${fronts[@]}"; do
  case "$front" in
    kavro) needed+=("$kavro") ;;
    host0 | host1) needed+=("$qarnhost") ;;
    entry) needed+=("$entry") ;;
    ipopt) needed+=("$ipopt") ;;
    *) echo "unknown front end: $front" >&2; exit 2 ;;
  esac
done
[[ ",$fronts_list," == *,kavro,* ]] || { echo "the front ends must include kavro" >&2; exit 2; }
for tool in "${needed[@]}"; do [ -x "$tool" ] || { echo "not built: $tool" >&2; exit 2; }; done
[ -n "$tag" ] || tag="${class}_$(date +%Y-%m-%d)"
if [ $# -eq 0 ]; then
  set -- $(awk -F'\t' -v c="$class" 'NR > 1 && (c == "all" || $17 == c) { print $1 }' "$index")
fi
pin=(taskset -c "$core")
if ! "${pin[@]}" true 2> /dev/null; then
  echo "# core $core cannot be used: the runs are not pinned" >&2
  pin=()
fi

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
printf 'solve_strategy 1\n' > "$work/s1.opt"
out="$results/strategy_$tag.tsv"
mkdir -p "$results"
printf 'model\tclass\tfront_end\toptimal\tcertified\tobjective\tprimal_rel\tdual_rel\tbest\trel_error\tcpu\tsolved\n' > "$out"
echo "# load before: $(uptime)" >&2

# Runs front end $1 on model file $2 in folder $3; leaves run.json and the time there.
run_front() {
  local front="$1" file="$2" dir="$3" host_env=(--env DomLim=2147483647)
  local cmd
  case "$front" in
    kavro) cmd=("$kavro" --quiet --solution run.json "$file") ;;
    host1) cmd=("$qarnhost" --optfile "$work/s1.opt" "${host_env[@]}" --solution run.json "$file") ;;
    host0) cmd=("$qarnhost" "${host_env[@]}" --solution run.json "$file") ;;
    entry) cmd=("$entry" --solution run.json "$file") ;;
    ipopt) cmd=("$ipopt" -t "$limit" -s run.json "$file") ;;
  esac
  ( cd "$dir" && ulimit -t "$limit" && /usr/bin/time -f "%U %S" -o "$dir/time" "${pin[@]}" "${cmd[@]}" > out.txt 2>&1 )
}

# One line of the table for front end $1, model $2 (class $3, file $4, best objective $5), run in $6.
table_line() {
  local front="$1" name="$2" cls="$3" file="$4" bestobj="$5" dir="$6" optimal=0 check="" cpu
  cpu="$(awk 'END { printf "%.3f", $1 + $2 }' "$dir/time" 2> /dev/null)"
  if [ -s "$dir/run.json" ]; then
    optimal="$(python3 -c '
import json, sys
j = json.load(open(sys.argv[1]))
if j.get("solver") == "ipopt": print(1 if j.get("status") == "Solve_Succeeded" else 0)
elif "exitCode" in j: print(1 if j["exitCode"] == 0 else 0)
else: print(1 if j["solveStatus"] == 1 and j["modelStatus"] in (1, 2, 16) else 0)' "$dir/run.json" 2> /dev/null || echo 0)"
    check="$("$certify" "$data/$file" "$dir/run.json" 2> /dev/null)"
  fi
  printf '%s\n' "$check" | awk -F'\t' -v m="$name" -v c="$cls" -v f="$front" -v o="$optimal" -v b="$bestobj" \
      -v cpu="${cpu:--}" '
    BEGIN { cert = 0; obj = "-"; p = "-"; d = "-" }
    $1 == "certified" && $3 != "error" { cert = $2; obj = $4; p = $7; d = $10 }
    END {
      err = "-"
      if (obj != "-" && b != "") { e = obj - b; if (e < 0) e = -e; s = b < 0 ? -b : b; if (s < 1) s = 1; err = sprintf("%.2e", e / s) }
      solved = (o == 1 && cert == 1 && (b == "" || (err != "-" && err + 0 <= 1e-6))) ? 1 : 0
      printf "%s\t%s\t%s\t%d\t%d\t%s\t%s\t%s\t%s\t%s\t%s\t%d\n", m, c, f, o, cert, obj, p, d, (b == "" ? "-" : b), err, cpu, solved
    }'
}

k=0
for name in "$@"; do
  line="$(awk -F'\t' -v n="$name" '$1 == n' "$index")"
  [ -n "$line" ] || { echo "no model $name" >&2; continue; }
  file="$(printf '%s' "$line" | cut -f2)"
  cls="$(printf '%s' "$line" | cut -f17)"
  bestobj="$(awk -F'\t' -v n="$name" '$1 == n { print $3 }' "$best")"
  for ((i = 0; i < ${#fronts[@]}; i++)); do
    front="${fronts[$(((i + k) % ${#fronts[@]}))]}"
    dir="$(mktemp -d "$work/run.XXXXXX")"
    run_front "$front" "$data/$file" "$dir"
    table_line "$front" "$name" "$cls" "$file" "$bestobj" "$dir" >> "$out"
    rm -rf "$dir"
  done
  k=$((k + 1))
done
echo "# load after: $(uptime)" >&2
echo "# table: $out" >&2
summary "$out"
