#!/usr/bin/env bash
# The host-library path (qarnhost loading librevuride64.so) over MPS files, with default options:
# the model status, the objective against REFERENCE.tsv and the signs of the marginals. One TSV
# line per problem:
#   problem  status  objective  rel_error  iterations  wrong_signs  worst_wrong_sign
# wrong_signs counts the nonbasic records (columns and rows) whose marginal has the wrong sign for
# the bound they are at (column marginals are reduced costs, >= 0 at a lower bound and <= 0 at an
# upper one; row marginals are d objective / d limit, likewise) by more than 1e-6 x (1 + |c_j|),
# c_j the column's objective coefficient (0 for rows); worst_wrong_sign is the largest such
# amount, whatever its size. MPS objectives are minimized.
#
# Usage: bench/host_accuracy.sh [-b BUILD] [-e NAME=VALUE]... [FILE.mps[.gz]...]
# (default: every Netlib problem). -e sets an environment option of the host (for example
# ResLim=5000: the host's time limit of 1,000 s can stop dfl001 on a busy machine).
# TIMEOUT (seconds, default 900) limits each run. Needs python3 (standard library).
set -uo pipefail
here="$(cd "$(dirname "$0")/.." && pwd)"
. "$here/bench/lp_common.sh"
build="$here/build/release"
env_options=()
while getopts "b:e:" opt; do
  case $opt in
    b) build="$OPTARG" ;;
    e) env_options+=(--env "$OPTARG") ;;
    *) echo "usage: $0 [-b BUILD] [-e NAME=VALUE]... [FILE...]" >&2; exit 2 ;;
  esac
done
shift $((OPTIND - 1))
find_netlib_data "$here" || exit 2
[ $# -eq 0 ] && set -- $(netlib_files)
qarnhost="$(cd "$build" && pwd)/apps/qarnhost"
[ -x "$qarnhost" ] || { echo "qarnhost not built: $qarnhost" >&2; exit 2; }
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

cat > "$work/signs.py" <<'PY'
import gzip, json, sys
path, json_path = sys.argv[1], sys.argv[2]
opener = gzip.open if path.endswith('.gz') else open
objective, cost, section = None, {}, None
for line in opener(path, 'rt'):
    if line[:1] not in (' ', '\t', '*', '\n', ''):
        section = line.split()[0]
        continue
    t = line.split()
    if not t or line.startswith('*'):
        continue
    if section == 'ROWS' and t[0] == 'N' and objective is None:
        objective = t[1]
    elif section == 'COLUMNS' and 'MARKER' not in line:
        for r, v in zip(t[1::2], t[2::2]):
            if r == objective:
                cost[t[0]] = cost.get(t[0], 0.0) + float(v)
host = json.load(open(json_path))
count, worst = 0, 0.0
for records, is_row in ((host.get('rows', []), True), (host.get('columns', []), False)):
    for rec in records:
        if 'basisStatus' not in rec:
            continue  # no solution records (the host writes none after some exits)
        status, m = rec['basisStatus'], rec['marginal']
        wrong = -m if status == 0 else m if status == 1 else 0.0
        if wrong <= 0.0:
            continue
        worst = max(worst, wrong)
        c = 0.0 if is_row else abs(cost.get(rec['name'], 0.0))
        if wrong > 1e-6 * (1.0 + c):
            count += 1
print('%s\t%s\t%.17g\t%d\t%d\t%.1e' % (host['modelStatus'], host['modelStatusText'].replace(' ', '_'),
                                      host['objective'], host['iterations'], count, worst))
PY

printf 'problem\tstatus\tobjective\trel_error\titerations\twrong_signs\tworst_wrong_sign\n'
for file in "$@"; do
  name="$(problem_name "$file")"
  rm -f "$work/host.json"
  (cd "$work" && timeout "${TIMEOUT:-900}" "$qarnhost" "${env_options[@]}" --solution host.json "$file" > host.txt 2>&1)
  if [ ! -s "$work/host.json" ]; then
    printf '%s\tno_solution\t-\t-\t-\t-\t-\n' "$name"
    continue
  fi
  IFS=$'\t' read -r code text objective iterations wrong worst <<<"$(python3 "$work/signs.py" "$file" "$work/host.json")"
  printf '%s\t%s\t%s\t%s\t%s\t%s\t%s\n' "$name" "$text" "$objective" "$(relative_error "$objective" "$name")" \
    "$iterations" "$wrong" "$worst"
done
