# Shared by the LP benchmark scripts (sourced, not run): where the Netlib data are, how a kavro
# run is timed and what its summary says.

# The shared data lie beside the project, or one level further up for a worktree; NETLIB_DATA
# overrides both. Sets $data and $reference, or returns 1.
find_netlib_data() {
  local here="$1" base
  data="${NETLIB_DATA:-${NETLIB_DIR:-}}"  # either name
  for base in "$here/.." "$here/../.."; do
    [ -z "$data" ] && [ -f "$base/shared/data/netlib/REFERENCE.tsv" ] && data="$base/shared/data/netlib"
  done
  [ -n "$data" ] || { echo "Netlib data not found: set NETLIB_DATA (or NETLIB_DIR)" >&2; return 1; }
  reference="$data/REFERENCE.tsv"
}

# Every problem of the set that this copy has.
netlib_files() { awk -F'\t' -v d="$data" '!/^#/ && $3 != "-" && $3 != "file" {print d "/" $3}' "$reference"; }

problem_name() { local n; n="$(basename "$1")"; n="${n%.gz}"; echo "${n%.mps}"; }

# Every timed run is pinned to one processor, the same for every solver: the two cores of the
# benchmark machine differ by up to 40% in speed, and a run that lands on either at random makes
# the times bimodal. PIN_CPU chooses the core (default 0); PIN_CPU= (empty) leaves runs unpinned.
# A core this process may not use (a restricted cpuset) leaves the runs unpinned, with a note.
pinned=()
if [ -n "${PIN_CPU-0}" ] && command -v taskset >/dev/null; then
  if taskset -c "${PIN_CPU-0}" true 2>/dev/null; then
    pinned=(taskset -c "${PIN_CPU-0}")
  else
    echo "# core ${PIN_CPU-0} not available: runs not pinned (set PIN_CPU)" >&2
  fi
fi

# Wall seconds of "$@" with its output in $out_file (TIMEOUT seconds at most, default 900).
time_once() {
  local start end
  start=$(date +%s.%N)
  timeout "${TIMEOUT:-900}" "${pinned[@]}" "$@" > "$out_file" 2>&1
  end=$(date +%s.%N)
  awk -v a="$start" -v b="$end" 'BEGIN { printf "%.3f", b - a }'
}

median() { sort -g | awk '{a[NR]=$1} END {printf "%.3f", a[int((NR+1)/2)]}'; }

# From a kavro summary file: exit, objective, iterations and cleanup rounds, tab-separated.
# exit: 0 optimal, 13 near-optimal, 1 infeasible, 2 unbounded, 3 iterations, 4 not changed.
kavro_fields() {
  local e o i c
  e="$(awk '/EXIT --/ { if ($0 ~ /near-optimal/) c=13; else if ($0 ~ /optimal solution found/) c=0;
      else if ($0 ~ /infeasible/) c=1; else if ($0 ~ /unbounded/) c=2; else if ($0 ~ /too many iterations/) c=3;
      else if ($0 ~ /not changed/) c=4; else c="other"; print c; exit }' "$1")"
  o="$(awk '/Objective value/ { print $NF; exit }' "$1")"
  i="$(awk '/No. of iterations/ { print $4; exit }' "$1")"
  c="$(grep -c 'not optimal for the unscaled problem' "$1")"
  printf '%s\t%s\t%s\t%s' "${e:-none}" "${o:--}" "${i:--}" "$c"
}

# Relative error of objective $1 against the reference of problem $2 (absolute when it is 0).
relative_error() {
  local ref
  ref="$(awk -F'\t' -v n="$2" '$1 == n { print ($10 != "" ? $10 : $8) }' "$reference")"
  awk -v o="$1" -v r="$ref" 'BEGIN { if (o == "-" || o == "" || r == "") { print "-"; exit }
      d = o - r; if (d < 0) d = -d; s = r < 0 ? -r : r; if (s == 0) printf "%.2e", d; else printf "%.2e", d / s }'
}

# Wall and processor seconds (user + system) of "$@", as "wall cpu", with its output in
# $out_file.
time_with_cpu() {
  local start end cpu
  start=$(date +%s.%N)
  /usr/bin/time -o "$out_file.cpu" -f '%U %S' timeout "${TIMEOUT:-900}" "${pinned[@]}" "$@" > "$out_file" 2>&1
  end=$(date +%s.%N)
  cpu="$(tail -1 "$out_file.cpu")"
  awk -v a="$start" -v b="$end" -v c="$cpu" 'BEGIN { split(c, t, " "); printf "%.3f %.3f", b - a, t[1] + t[2] }'
}
