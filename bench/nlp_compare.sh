#!/usr/bin/env bash
# Runs `kavro MODEL.nl` (through bench/nlp.sh) and the interior-point peer (bench/nlp_ipopt,
# Ipopt with exact second derivatives) over the nonlinear test models, model by model
# alternating the two so that both meet the same load, and writes
#   bench/results/nlp_kavro_CLASS_DATE.tsv and bench/results/nlp_ipopt_CLASS_DATE.tsv
# in the columns of bench/nlp.sh. Then prints the summary: models solved by each and by both,
# the shifted geometric mean CPU time of each on the models both solve (shift 1 s, and 0.01 s
# for information), and the models the peer solves and KAVRO does not, by class. The load
# (`uptime`) before and after is printed too: run it with nothing else on the machine.
#
# Usage: bench/nlp_compare.sh [-c LC|NC|all] [-t CPU_SECONDS] [-o TAG] [-k KAVRO] [-p] [MODEL...]
#        bench/nlp_compare.sh -S KAVRO.tsv IPOPT.tsv     (summary of two existing tables)
# -p runs the peer alone (its table only, no summary): to be joined later with -S to a table
# of bench/nlp.sh.
# -k names the kavro program (default build/release/apps/kavro; a copy lets the build go on).
# Defaults: every model of the class (all), 10 s CPU each, TAG = CLASS_DATE. KAVRO_NL_DATA names
# the models folder when it is not ../shared/data/nl (it is passed on to bench/nlp.sh).
set -uo pipefail
here="$(cd "$(dirname "$0")/.." && pwd)"
data="${KAVRO_NL_DATA:-$here/../shared/data/nl}"  # the models (override where shared/ is elsewhere)
index="$data/INDEX.tsv"
peer="$here/build/release/bench/nlp_ipopt"
results="$here/bench/results"
class=all
limit=10
tag=""
peerOnly=0
kavroArgs=()

summary() {
  awk -F'\t' '
    FNR == 1 { file++; next }
    file == 1 { ks[$1] = $12; kt[$1] = $11; cls[$1] = $2; order[++n] = $1 }
    file == 2 { ps[$1] = $12; pt[$1] = $11; if (!($1 in cls)) { cls[$1] = $2; order[++n] = $1 } }
    END {
      for (i = 1; i <= n; i++) {
        m = order[i]; c = cls[m]; classes[c] = 1
        if (ks[m] == 1) { kc[c]++; kc["all"]++ }
        if (ps[m] == 1) { pc[c]++; pc["all"]++ }
        tot[c]++; tot["all"]++
        if (ks[m] == 1 && ps[m] == 1) {
          both[c]++; both["all"]++
          for (k = 0; k < 2; k++) {
            s = k ? 0.01 : 1.0
            kl[c, k] += log(kt[m] + s); pl[c, k] += log(pt[m] + s)
            kl["all", k] += log(kt[m] + s); pl["all", k] += log(pt[m] + s)
          }
        }
        if (ps[m] == 1 && ks[m] != 1) missed[c] = missed[c] " " m
      }
      classes["all"] = 1
      printf "%-5s %7s %7s %7s %7s %16s %16s %16s %16s\n", "class", "models", "kavro", "peer", "both",
             "kavro_sgm(1s)", "peer_sgm(1s)", "kavro_sgm(.01s)", "peer_sgm(.01s)"
      for (c in classes) {
        if (both[c] > 0) {
          a = exp(kl[c, 0] / both[c]) - 1.0; b = exp(pl[c, 0] / both[c]) - 1.0
          e = exp(kl[c, 1] / both[c]) - 0.01; f = exp(pl[c, 1] / both[c]) - 0.01
          printf "%-5s %7d %7d %7d %7d %16.4f %16.4f %16.4f %16.4f\n", c, tot[c], kc[c], pc[c], both[c], a, b, e, f
        } else {
          printf "%-5s %7d %7d %7d %7d %16s %16s %16s %16s\n", c, tot[c], kc[c], pc[c], 0, "-", "-", "-", "-"
        }
      }
      for (c in missed) if (c != "all") printf "solved by the peer only (%s):%s\n", c, missed[c]
    }' "$1" "$2"
}

if [ "${1:-}" = "-S" ]; then
  [ $# -eq 3 ] || { echo "usage: $0 -S KAVRO.tsv IPOPT.tsv" >&2; exit 2; }
  summary "$2" "$3"
  exit 0
fi
while getopts "c:t:o:k:p" opt; do
  case $opt in
    c) class="$OPTARG" ;;
    t) limit="$OPTARG" ;;
    o) tag="$OPTARG" ;;
    k) kavroArgs=(-k "$OPTARG") ;;
    p) peerOnly=1 ;;
    *) echo "usage: $0 [-c LC|NC|all] [-t CPU_SECONDS] [-o TAG] [-k KAVRO] [-p] [MODEL...]" >&2; exit 2 ;;
  esac
done
shift $((OPTIND - 1))
[ -x "$peer" ] || { echo "nlp_ipopt not built (needs coinor-libipopt-dev): $peer" >&2; exit 2; }
[ -n "$tag" ] || tag="${class}_$(date +%F)"
if [ $# -eq 0 ]; then
  set -- $(awk -F'\t' -v c="$class" 'NR > 1 && (c == "all" || $17 == c) { print $1 }' "$index")
fi
mkdir -p "$results" || exit 2
kout="$results/nlp_kavro_$tag.tsv"
pout="$results/nlp_ipopt_$tag.tsv"
header='model\tclass\texit\tobjective\tref_obj\trel_error\titerations\tmajors\tfunobj\tfuncon\tcpu_seconds\tsolved\n'
[ "$peerOnly" = 1 ] || printf "$header" > "$kout" || { echo "cannot write $results" >&2; exit 2; }
printf "$header" > "$pout" || { echo "cannot write $results" >&2; exit 2; }

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

# The peer under the same limit and clock as nlp.sh gives kavro: ulimit -t on the process and
# its user + system time from /usr/bin/time (the peer's own line has the rest).
run_peer() {
  local name="$1" line file cls ref status cpu
  line="$(awk -F'\t' -v n="$name" '$1 == n' "$index")"
  file="$(printf '%s' "$line" | cut -f2)"
  cls="$(printf '%s' "$line" | cut -f17)"
  ref="$(printf '%s' "$line" | cut -f18)"
  local args=(-t "$limit" -c "$cls")
  [ -n "$ref" ] && args+=(-r "$ref")
  # In the scratch folder: Ipopt reads an ipopt.opt it finds in the working folder.
  ( cd "$work" && ulimit -t "$limit" && /usr/bin/time -f "%U %S" -o "$work/time" "$peer" "${args[@]}" "$data/$file" \
      > "$work/out" 2> "$work/err" )
  status=$?
  cpu="$(awk 'END { printf "%.3f", $1 + $2 }' "$work/time" 2>/dev/null)"  # the last line: a killed run's has a note before it
  if [ -s "$work/out" ]; then
    awk -F'\t' -v OFS='\t' -v cpu="${cpu:--}" '{ $11 = cpu; print }' "$work/out"
  else
    local exit="-"
    { [ "$status" -eq 152 ] || [ "$status" -eq 137 ]; } && exit=cpu
    printf '%s\t%s\t%s\t-\t%s\t-\t-\t-\t-\t-\t%s\t0\n' "$name" "$cls" "$exit" "${ref:--}" "${cpu:--}"
  fi
}

echo "load before: $(uptime)"
count=0
for name in "$@"; do
  if [ "$peerOnly" = 0 ]; then
    "$here/bench/nlp.sh" "${kavroArgs[@]}" -t "$limit" "$name" | tail -n +2 >> "$kout" || { echo "cannot write $kout" >&2; exit 2; }
  fi
  run_peer "$name" >> "$pout" || { echo "cannot write $pout" >&2; exit 2; }
  count=$((count + 1))
done
echo "load after: $(uptime)"
if [ "$peerOnly" = 1 ]; then
  echo "models: $count; table: $pout"
  awk -F'\t' 'NR > 1 { n++; s += $12 } END { printf "solved by the peer: %d of %d\n", s, n }' "$pout"
  exit 0
fi
echo "models: $count; tables: $kout $pout"
summary "$kout" "$pout"
