#!/usr/bin/env bash
# Runs `kavro MODEL.nl` over the nonlinear test models and prints one TSV line per model:
#   model  class  exit  objective  ref_obj  rel_error  iterations  majors  funobj  funcon  cpu_seconds  solved
# exit is the optimizer's exit code from the report's last EXIT line ("-" when the run gave none:
# a crash, a refused model or the CPU limit, shown as "cpu" when the limit struck); where the
# command solved the model more than once, every figure is the last run's. rel_error is
# |objective - ref| / max(1, |ref|) where INDEX.tsv has a reference objective. solved is 1 when
# the exit is 0 and (without a reference, or) the error is at most 1e-6.
#
# Usage: bench/nlp.sh [-c LC|NC|all] [-t CPU_SECONDS] [-j JOBS] [-k KAVRO] [-s SPECS] [MODEL...]
# Without models, every model of ../shared/data/nl/INDEX.tsv of the class is run (default: all,
# 10 s CPU each, 1 job). Each run gets its own scratch folder; nothing is written elsewhere.
set -uo pipefail
here="$(cd "$(dirname "$0")/.." && pwd)"
data="${KAVRO_NL_DATA:-$here/../shared/data/nl}"  # the models (override where shared/ is elsewhere)
kavro="$here/build/release/apps/kavro"
class=all
limit=10
jobs=1
specs=""
while getopts "c:t:j:k:s:" opt; do
  case $opt in
    c) class="$OPTARG" ;;
    t) limit="$OPTARG" ;;
    j) jobs="$OPTARG" ;;
    k) kavro="$OPTARG" ;;
    s) specs="$(cd "$(dirname "$OPTARG")" && pwd)/$(basename "$OPTARG")" ;;
    *) echo "usage: $0 [-c LC|NC|all] [-t CPU_SECONDS] [-j JOBS] [-k KAVRO] [-s SPECS] [MODEL...]" >&2; exit 2 ;;
  esac
done
shift $((OPTIND - 1))
[ -x "$kavro" ] || { echo "kavro not built: $kavro" >&2; exit 2; }
kavro="$(cd "$(dirname "$kavro")" && pwd)/$(basename "$kavro")"
index="$data/INDEX.tsv"
if [ $# -eq 0 ]; then
  set -- $(awk -F'\t' -v c="$class" 'NR > 1 && (c == "all" || $17 == c) { print $1 }' "$index")
fi

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

run_one() {
  local name="$1" line file cls ref dir out status cpu
  line="$(awk -F'\t' -v n="$name" '$1 == n' "$index")"
  file="$(printf '%s' "$line" | cut -f2)"
  cls="$(printf '%s' "$line" | cut -f17)"
  ref="$(printf '%s' "$line" | cut -f18)"
  dir="$(mktemp -d "$work/run.XXXXXX")"
  out="$dir/out.txt"
  local args=(--quiet)
  [ -n "$specs" ] && args+=(--specs "$specs")
  ( cd "$dir" && ulimit -t "$limit" && /usr/bin/time -f "%U %S" -o "$dir/time" \
      "$kavro" "${args[@]}" "$data/$file" > "$out" 2>&1 )
  status=$?
  cpu="$(awk 'END { printf "%.3f", $1 + $2 }' "$dir/time" 2>/dev/null)"  # the last line: a killed run's has a note before it
  awk -v name="$name" -v cls="$cls" -v ref="$ref" -v cpu="${cpu:--}" -v status="$status" '
    /EXIT --/ {
      if ($0 ~ /optimal solution found/) exitcode = 0; else if ($0 ~ /infeasible/) exitcode = 1;
      else if ($0 ~ /unbounded/) exitcode = 2; else if ($0 ~ /too many iterations|Major iterations/) exitcode = 3;
      else if ($0 ~ /not changed/) exitcode = 4; else if ($0 ~ /superbasics limit/) exitcode = 5;
      else if ($0 ~ /function not defined|Termination requested/) exitcode = 6;
      else if ($0 ~ /funobj appears/) exitcode = 7; else if ($0 ~ /funcon appears/) exitcode = 8;
      else if ($0 ~ /cannot be improved/) exitcode = 9; else if ($0 ~ /numerical error/) exitcode = 10;
      else if ($0 ~ /cannot find a superbasic/) exitcode = 11; else if ($0 ~ /twice in a row/) exitcode = 12;
      else if ($0 ~ /near-optimal/) exitcode = 13; else if ($0 ~ /CPU limit/) exitcode = 18;
      else if ($0 ~ /control-c/) exitcode = 19; else exitcode = "other"
    }
    /Objective value/ { obj = $NF }
    /No. of iterations/ { itn = $4 }
    /No. of major iterations/ { maj = $5 }
    /No. of calls to funobj/ { fo = $6; fc = $NF }
    END {
      # A run killed by the limit may have printed the EXIT line of an earlier run (the repeats).
      if (status == 152 || status == 137) exitcode = "cpu"; else if (exitcode == "") exitcode = "-";
      err = "-"
      if (obj != "" && ref != "") { d = obj - ref; if (d < 0) d = -d; s = ref < 0 ? -ref : ref; if (s < 1) s = 1; err = sprintf("%.2e", d / s) }
      solved = (exitcode == "0" && (err == "-" || err + 0 <= 1e-6)) ? 1 : 0
      printf "%s\t%s\t%s\t%s\t%s\t%s\t%s\t%s\t%s\t%s\t%s\t%d\n", name, cls, exitcode, (obj == "" ? "-" : obj),
             (ref == "" ? "-" : ref), err, (itn == "" ? "-" : itn), (maj == "" ? "-" : maj), (fo == "" ? "-" : fo),
             (fc == "" ? "-" : fc), cpu, solved
    }' "$out"
  rm -rf "$dir"
}
export -f run_one
export work index data kavro limit specs

printf 'model\tclass\texit\tobjective\tref_obj\trel_error\titerations\tmajors\tfunobj\tfuncon\tcpu_seconds\tsolved\n'
printf '%s\n' "$@" | xargs -P "$jobs" -I{} bash -c 'run_one "$@"' _ {}
