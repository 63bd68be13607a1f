#!/usr/bin/env bash
# Compares the host-library path (qarnhost loading librevuride64.so) with the stand-alone kavro
# command with three checks. Each check prints a TSV table on stdout and a summary line starting "#".
#
# Usage: bench/host_compare.sh [-c same|marginals|overhead|all] [-r RUNS] [-b BUILD] [FILE.mps[.gz]...]
#   -c  check to run (default all)
#   -r  runs per program for the overhead check; the medians are reported (default 3)
#   -b  build folder holding apps/kavro and apps/qarnhost (default build/release)
# Files: checks same and marginals default to the CTest regression list (tests/data/netlib/*.mps.gz);
# the overhead check defaults to the problems of ../shared/data/netlib with more than 1,000 rows
# (REFERENCE.tsv, rows counting the objective), less the slow ones named in $slow below.
# TIMEOUT (seconds, default 120) limits every run.
#
# Both programs are run on a copy of each MPS file whose first N (free) row has been moved to the
# end of the ROWS section. The problem is the same, but the host library puts the objective row
# after all constraints, while kavro keeps the file's row order; the order changes the crash basis
# and pricing, so without the copy the iteration counts are not comparable.
#
# Check "same" columns:
#   problem, ranges (yes: the file has a RANGES section; the host has no ranged rows and solves an
#   equation plus a bounded column "rng.<row>" instead, so its path may differ), kavro_exit (text
#   after "EXIT --"), host_status (modelStatusText of the JSON), kavro_obj, host_obj,
#   obj_rel_diff = |host - kavro| / max(1, |kavro|), kavro_itns, host_itns, same_itns (yes/no),
#   kavro_itns_file_order (kavro on the unmodified file, for reference).
# Check "marginals" columns: every row and column marginal of the qarnhost JSON against Clp's dual
# value / reduced cost (clp FILE -primalS -printingOptions all -solution OUT), matched by name:
#   problem, ranges, clp_ok (Clp reported optimal), host_kkt (largest violation of the host's own
#   optimality conditions: nonbasic column marginal against c - A'y from its row marginals y,
#   relative, any marginal of the wrong sign for its basis status, and the relative distance
#   from its bound of a nonbasic record with a nonzero marginal; near 0 means the host's
#   marginals are an optimal dual whatever Clp found), basic_at_bound (basic JSON records whose
#   level is at a finite bound), dual_unique, max_row_diff, max_col_diff, max_diff, worst (record
#   with max_diff). A difference is |host - clp| / max(1, |clp|). The "rng." columns have no Clp
#   counterpart and are skipped; the marginal of a ranged row is compared with Clp's row dual
#   (both are d objective / d active limit). Clp prints 8 significant digits, so differences
#   below about 1e-8 are noise. Signs: both follow the minimization convention (row marginal =
#   d objective / d rhs, column marginal = reduced cost); MPS objectives are always minimized here.
#   dual_unique rule: the qarnhost solution is primal nondegenerate, i.e. no record with basis
#   status basic (2) or superbasic (3) has its level within 1e-7 * max(1, |bound|) of a finite
#   bound. Bounds come from the MPS file (columns: BOUNDS as KAVRO's MPS reader takes them, so
#   MI also turns an infinite upper bound into 0; default [0, inf); rows: RHS and RANGES; a ranged row is the host's equation with rhs 0, its rng.
#   column carries the limits; names must not contain blanks). A nondegenerate optimal basis has exactly one dual solution, so
#   only those problems are expected to agree; degenerate ones may have other optimal duals.
# Check "overhead" columns:
#   problem, rows (with the objective), kavro_itns, host_itns, kavro_s, host_s (median
#   whole-process wall time), overhead = (host_s - kavro_s) / kavro_s, and the same from the
#   processes' cpu time (user + system): kavro_cpu_s, host_cpu_s, cpu_overhead; on a shared
#   machine the cpu figures are the steadier ones. The two programs take turns, run by run.
#   qarnhost runs without --solution (its iterations come from the print file kavro55Print it
#   always writes), so writing the JSON is not timed.
#
# Dependencies: the release build (kavro, qarnhost, librevuride64.so), python3 (standard library),
# awk, and for the check "marginals" Clp's command (Debian coinor-clp).
set -uo pipefail
here="$(cd "$(dirname "$0")/.." && pwd)"
check=all
runs=3
build="$here/build/release"
while getopts "c:r:b:" opt; do
  case $opt in
    c) check="$OPTARG" ;;
    r) runs="$OPTARG" ;;
    b) build="$OPTARG" ;;
    *) echo "usage: $0 [-c same|marginals|overhead|all] [-r RUNS] [-b BUILD] [FILE...]" >&2; exit 2 ;;
  esac
done
shift $((OPTIND - 1))
case "$check" in same | marginals | overhead | all) ;; *) echo "unknown check: $check" >&2; exit 2 ;; esac
build="$(cd "$build" && pwd)" || exit 2
kavro="$build/apps/kavro"
qarnhost="$build/apps/qarnhost"
[ -x "$kavro" ] && [ -x "$qarnhost" ] || { echo "kavro or qarnhost not built in $build" >&2; exit 2; }
if [ "$check" = marginals ] || [ "$check" = all ]; then
  command -v clp >/dev/null || { echo "the marginals check needs clp: apt-get install coinor-clp" >&2; exit 2; }
fi
timeout_s="${TIMEOUT:-120}"
data="$here/../shared/data/netlib"
# Over a minute per kavro run in the 2026-12-08 Netlib run (dfl001 does not finish at all).
slow="dfl001"

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

if [ $# -gt 0 ]; then
  # absolute, since the programs run in the work folder
  mapfile -t files < <(realpath -- "$@")
  big=("${files[@]}")
else
  files=("$here"/tests/data/netlib/*.mps.gz)
  mapfile -t big < <(awk -F'\t' -v d="$data" -v slow=" $slow " '!/^#/ && $3 ~ /mps/ && $4 + 0 > 1000 &&
      index(slow, " " $1 " ") == 0 { print d "/" $3 }' "$data/REFERENCE.tsv")
fi

name_of() { local n; n="$(basename "$1")"; n="${n%.gz}"; echo "${n%.mps}"; }

# Plain copy of $1 in $2 with the first N row moved to the end of the ROWS section.
reordered_copy() {
  { case "$1" in *.gz) zcat "$1" ;; *) cat "$1" ;; esac; } | awk '
    function flush() { if (held != "") print held; held = ""; inrows = 0 }
    { sub(/\r$/, "") }
    /^[^ \t*]/ { if (inrows) flush(); print; if ($1 == "ROWS") { inrows = 1; done = 0 }; next }
    inrows && !done && $1 == "N" { held = $0; done = 1; next }
    { print }
    END { if (inrows) flush() }' > "$2"
}

has_ranges() { grep -q '^RANGES' "$1" && echo yes || echo no; }

# kavro summary on stdout: "exit<TAB>objective<TAB>iterations"
kavro_summary() {
  awk '/EXIT --/ { sub(/.*EXIT -- */, ""); e = $0 }
       /No. of iterations/ { it = $4; ob = $NF }
       END { printf "%s\t%s\t%s\n", (e == "" ? "-" : e), (ob == "" ? "-" : ob), (it == "" ? "-" : it) }' "$1"
}

# Top-level field of a qarnhost JSON file (json.dump indents top-level keys by one blank).
json_field() {
  awk -v k="\"$2\":" '$1 == k && /^ "/ { v = $0; sub(/^[^:]*: */, "", v); sub(/,$/, "", v); gsub(/"/, "", v); print v; exit }' "$1"
}

check_same() {
  printf 'problem\tranges\tkavro_exit\thost_status\tkavro_obj\thost_obj\tobj_rel_diff\tkavro_itns\thost_itns\tsame_itns\tkavro_itns_file_order\n'
  for file in "${files[@]}"; do
    local name plain k
    name="$(name_of "$file")"; plain="$work/$name.mps"
    reordered_copy "$file" "$plain"
    (cd "$work" && timeout "$timeout_s" "$kavro" --quiet "$file" > orig.txt 2>&1)
    (cd "$work" && timeout "$timeout_s" "$kavro" --quiet "$plain" > kavro.txt 2>&1)
    rm -f "$work/host.json"
    (cd "$work" && timeout "$timeout_s" "$qarnhost" --solution host.json "$plain" > host.txt 2>&1)
    k="$(kavro_summary "$work/kavro.txt")"
    local kexit kobj kit hobj hit hstat korig
    IFS=$'\t' read -r kexit kobj kit <<< "$k"
    korig="$(kavro_summary "$work/orig.txt" | cut -f3)"
    if [ -s "$work/host.json" ]; then
      hobj="$(json_field "$work/host.json" objective)"; hit="$(json_field "$work/host.json" iterations)"
      hstat="$(json_field "$work/host.json" modelStatusText)"
    else
      hobj=-; hit=-; hstat="no solution"
    fi
    awk -v OFS='\t' -v n="$name" -v r="$(has_ranges "$plain")" -v ke="$kexit" -v hs="$hstat" \
        -v ko="$kobj" -v ho="$hobj" -v ki="$kit" -v hi="$hit" -v kf="$korig" 'BEGIN {
      d = "-"; if (ko != "-" && ho != "-") { x = ho - ko; if (x < 0) x = -x; s = ko < 0 ? -ko : ko; d = sprintf("%.1e", x / (s > 1 ? s : 1)) }
      print n, r, ke, hs, ko, ho, d, ki, hi, (ki == hi ? "yes" : "no"), kf }'
    rm -f "$plain"
  done | tee "$work/same.tsv"
  awk -F'\t' '{ n++; if ($10 == "yes") same++; else diff = diff " " $1 (($2 == "yes") ? "(ranges)" : "");
      if ($7 != "-" && $7 + 0 <= 1e-9) obj++ }
    END { printf "# same: %d problems; objective within 1e-9: %d; same iteration count: %d; differing:%s\n",
          n, obj, same, (diff == "" ? " none" : diff) }' "$work/same.tsv"
}

# Compares the marginals of a qarnhost JSON with a Clp solution file; prints
# clp_ok host_kkt basic_at_bound dual_unique max_row_diff max_col_diff max_diff worst (tab-separated).
cat > "$work/marginals.py" << 'EOF'
import json, sys

INF = 1.0e20
mps_path, json_path, clp_path = sys.argv[1:4]

# Row limits (activity) and column bounds as KAVRO's MPS reader sets them.
sense, rhs, rng, obj = {}, {}, {}, None
lower, upper, matrix = {}, {}, {}
section, sets = None, {}
def use_set(kind, name):
    return sets.setdefault(kind, name) == name
for line in open(mps_path):
    if not line.strip() or line.startswith('*'):
        continue
    if not line[0].isspace():
        section = line.split()[0]
        continue
    t = line.split()
    if section == 'ROWS':
        sense[t[1]] = t[0]
        if t[0] == 'N' and obj is None:
            obj = t[1]
    elif section == 'COLUMNS':
        if len(t) > 2 and t[1] == "'MARKER'":
            continue
        if t[0] not in lower:
            lower[t[0]], upper[t[0]] = 0.0, INF
        column = matrix.setdefault(t[0], {})
        for r, v in zip(t[1::2], t[2::2]):
            column[r] = column.get(r, 0.0) + float(v)
    elif section in ('RHS', 'RANGES'):
        if len(t) % 2 == 1:
            if not use_set(section, t[0]):
                continue
            t = t[1:]
        for r, v in zip(t[0::2], t[1::2]):
            (rhs if section == 'RHS' else rng)[r] = float(v)
    elif section == 'BOUNDS':
        kind = t[0]
        valued = kind in ('LO', 'UP', 'FX', 'LI', 'UI')
        if len(t) == (4 if valued else 3):
            if not use_set('BOUNDS', t[1]):
                continue
            t = [t[0]] + t[2:]
        j = t[1]
        if j not in lower:
            continue
        v = float(t[2]) if valued else 0.0
        if kind in ('LO', 'LI'): lower[j] = v
        elif kind in ('UP', 'UI'): upper[j] = v
        elif kind == 'FX': lower[j] = upper[j] = v
        elif kind == 'FR': lower[j], upper[j] = -INF, INF
        elif kind == 'MI':
            lower[j] = -INF
            if upper[j] >= INF: upper[j] = 0.0
        elif kind == 'PL': upper[j] = INF
        elif kind == 'BV': lower[j], upper[j] = 0.0, 1.0

row_bounds = {}
for r, s in sense.items():
    if s == 'N':
        continue
    b, R = rhs.get(r, 0.0), rng.get(r)
    lo, up = {'E': (b, b), 'L': (-INF, b), 'G': (b, INF)}[s]
    if R is not None:
        if s == 'L' or (s == 'E' and R < 0): lo = up - abs(R)
        elif s == 'G' or (s == 'E' and R > 0): up = lo + abs(R)
    if lo > -INF and up < INF and lo != up:
        # the host's form: equation activity - s = 0, with s in a column rng.<row>
        lower['rng.' + r], upper['rng.' + r] = lo, up
        matrix['rng.' + r] = {r: -1.0}
        lo = up = 0.0
    row_bounds[r] = (lo, up)

host = json.load(open(json_path))
clp_rows, clp_cols, clp_ok, target = {}, {}, False, None
for line in open(clp_path):
    t = line.split()
    if not t:
        continue
    if target is None:
        clp_ok = line.startswith('Optimal')
        target = clp_rows
        continue
    if t[0] == '**':
        t = t[1:]
    if t[0] == '0' and clp_rows and target is clp_rows:
        target = clp_cols
    target[' '.join(t[1:-2])] = float(t[-1])

def at_bound(level, lo, up):
    return any(abs(b) < INF and abs(level - b) <= 1e-7 * max(1.0, abs(b)) for b in (lo, up))

# Optimality of the host's own answer, whatever Clp says: its column marginals must be
# c - A'y for its row marginals y, every nonbasic marginal must have the sign that its bound
# allows (>= 0 at a lower bound, <= 0 at an upper one; basic ones are 0), and a record with a
# nonzero marginal must sit at that bound.
y = {rec['name']: rec['marginal'] for rec in host['rows']}
kkt = 0.0
for rec in host['columns']:
    if rec['basisStatus'] != 2:
        d = sum(v * (1.0 if r == obj else -y.get(r, 0.0)) for r, v in matrix[rec['name']].items())
        kkt = max(kkt, abs(rec['marginal'] - d) / max(1.0, abs(d)))
def limits(rec, is_row):
    name = rec['name']
    return row_bounds[name] if is_row else (lower[name], upper[name])
for is_row, records in ((True, host['rows']), (False, host['columns'])):
    for rec in records:
        m, status, level = rec['marginal'], rec['basisStatus'], rec['level']
        kkt = max(kkt, -m if status == 0 else m if status == 1 else abs(m))
        if status in (0, 1) and m != 0.0:
            # a nonzero marginal needs the record at the bound its status names
            b = limits(rec, is_row)[status]
            kkt = max(kkt, abs(level - b) / max(1.0, abs(b)) if abs(b) < INF else 1.0)

degenerate = 0
worst = {'row': (0.0, '-'), 'col': (0.0, '-')}
for kind, records, ref in (('row', host['rows'], clp_rows), ('col', host['columns'], clp_cols)):
    for rec in records:
        name = rec['name']
        lo, up = limits(rec, kind == 'row')
        if rec['basisStatus'] in (2, 3) and at_bound(rec['level'], lo, up):
            degenerate += 1
        if name not in ref:
            continue
        b = ref[name]
        d = abs(rec['marginal'] - b) / max(1.0, abs(b))
        if d > worst[kind][0]:
            worst[kind] = (d, name)
w = max(worst.values())
print('\t'.join([str(int(clp_ok)), '%.1e' % kkt, str(degenerate), 'yes' if degenerate == 0 else 'no',
                 '%.1e' % worst['row'][0], '%.1e' % worst['col'][0], '%.1e' % w[0], w[1]]))
EOF

check_marginals() {
  printf 'problem\tranges\tclp_ok\thost_kkt\tbasic_at_bound\tdual_unique\tmax_row_diff\tmax_col_diff\tmax_diff\tworst\n'
  for file in "${files[@]}"; do
    local name plain m
    name="$(name_of "$file")"; plain="$work/$name.mps"
    reordered_copy "$file" "$plain"
    rm -f "$work/host.json" "$work/clp.sol"
    (cd "$work" && timeout "$timeout_s" "$qarnhost" --solution host.json "$plain" > host.txt 2>&1)
    (cd "$work" && timeout "$timeout_s" clp "$plain" -primalS -printingOptions all -solution clp.sol > clp.txt 2>&1)
    if [ -s "$work/host.json" ] && [ -s "$work/clp.sol" ]; then
      m="$(python3 "$work/marginals.py" "$plain" "$work/host.json" "$work/clp.sol")" || m="error"
    else
      m="no solution"
    fi
    printf '%s\t%s\t%s\n' "$name" "$(has_ranges "$plain")" "$m"
    rm -f "$plain"
  done | tee "$work/marginals.tsv"
  awk -F'\t' '$3 == "error" || $3 == "no solution" { bad = bad " " $1; next }
    { n++; if ($9 + 0 <= 1e-6) all++; if ($4 + 0 > kkt) kkt = $4 + 0
      if ($6 == "yes") { u++; if ($9 + 0 <= 1e-6) uok++; else ubad = ubad " " $1 } }
    END { printf "# marginals: %d problems compared; within 1e-6: %d; dual unique: %d, of which within 1e-6: %d%s; largest host_kkt %.1e%s\n",
          n, all, u, uok, (ubad == "" ? "" : " (differing:" ubad ")"), kkt, (bad == "" ? "" : "; not compared:" bad) }' \
    "$work/marginals.tsv"
}

# Runs "$@" in $work with its output in $work/out.txt and appends "wall_s cpu_s" (cpu = user +
# system time of the process and its children) to the file $1.
measure() {
  local TIMEFORMAT='%R %U %S' log="$1"
  shift
  { time (cd "$work" && timeout "$timeout_s" "$@" > out.txt 2>&1); } 2>&1 | awk '{ print $1, $2 + $3 }' >> "$log"
}

# median of column $2 of file $1
median() { sort -g -k"$2","$2" "$1" | awk -v c="$2" '{ a[NR] = $c } END { printf "%.3f", a[int((NR + 1) / 2)] }'; }

check_overhead() {
  printf 'problem\trows\tkavro_itns\thost_itns\tkavro_s\thost_s\toverhead\tkavro_cpu_s\thost_cpu_s\tcpu_overhead\n'
  for file in "${big[@]}"; do
    local name plain kit hit rows
    name="$(name_of "$file")"; plain="$work/$name.mps"
    reordered_copy "$file" "$plain"
    rows="$(awk '/^[^ \t*]/ { s = $1; next } s == "ROWS" && !/^\*/ { n++ } END { print n }' "$plain")"
    rm -f "$work/k.times" "$work/h.times" "$work/kavro55Print"
    # alternate the two programs so that a change in the machine's load hits both alike
    for ((i = 0; i < runs; i++)); do
      measure "$work/k.times" "$kavro" --quiet "$plain"
      kit="$(kavro_summary "$work/out.txt" | cut -f3)"
      measure "$work/h.times" "$qarnhost" "$plain"
      hit="$(awk '/No. of iterations/ { print $4; exit }' "$work/kavro55Print" 2>/dev/null)"
    done
    awk -v OFS='\t' -v n="$name" -v r="$rows" -v ki="$kit" -v hi="${hit:--}" \
        -v ks="$(median "$work/k.times" 1)" -v hs="$(median "$work/h.times" 1)" \
        -v kc="$(median "$work/k.times" 2)" -v hc="$(median "$work/h.times" 2)" \
      'BEGIN { print n, r, ki, hi, ks, hs, sprintf("%+.3f", (hs - ks) / ks), kc, hc, sprintf("%+.3f", (hc - kc) / kc) }'
    rm -f "$plain"
  done | tee "$work/overhead.tsv"
  awk -F'\t' '{ n++; if ($3 == $4) same++; tk += $5; th += $6; ck += $8; ch += $9; print $7, $10 > (w "/o.txt") }
    END { if (n == 0) exit
      printf "%d problems, same iteration count on %d; total wall time kavro %.1f s, host %.1f s (%+.3f); total cpu kavro %.1f s, host %.1f s (%+.3f)",
             n, same, tk, th, (th - tk) / tk, ck, ch, (ch - ck) / ck > (w "/o.sum") }' w="$work" "$work/overhead.tsv"
  [ -s "$work/o.sum" ] && printf '# overhead: %s; median overhead wall %+.3f, cpu %+.3f\n' "$(cat "$work/o.sum")" \
    "$(median "$work/o.txt" 1)" "$(median "$work/o.txt" 2)"
}

case "$check" in
  same) check_same ;;
  marginals) check_marginals ;;
  overhead) check_overhead ;;
  all) check_same; echo; check_marginals; echo; check_overhead ;;
esac
