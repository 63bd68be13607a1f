#!/usr/bin/env bash
# Checks that TRIAX computes exactly what it computed before: runs lu_identity over every basis
# of the index (with its replacement sequence) and compares the fingerprints with the reference
# file. Exit status 0 when all lines agree, 1 when any differs (the differing lines are shown).
#
#   bench/lu_identity.sh [-w] [BUILD_DIR] [BASES_DIR]
#
# -w writes the reference instead (only from a build whose results are the ones to keep).
# BUILD_DIR defaults to build/release, BASES_DIR to ../shared/data/bases (from the project root).
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
write=0
if [[ "${1:-}" == "-w" ]]; then write=1; shift; fi
build="${1:-$root/build/release}"
bases="${2:-$root/../shared/data/bases}"
tool="$build/bench/lu_identity"
reference="$root/bench/results/lu_identity_reference.tsv"
[[ -x "$tool" ]] || { echo "missing $tool (build the release preset)" >&2; exit 1; }

out="$(mktemp)"
trap 'rm -f "$out"' EXIT
tail -n +2 "$bases/INDEX.tsv" | while IFS=$'\t' read -r name rest; do
  repl="$bases/repl/$name.mtx.gz"
  [[ -f "$repl" ]] || repl=""
  "$tool" "$bases/$name.mtx.gz" $repl
done > "$out"
if ((write)); then
  cp "$out" "$reference"
  echo "wrote $(wc -l < "$reference") lines to $reference"
  exit 0
fi
if diff "$reference" "$out" > /dev/null; then
  echo "identical: $(wc -l < "$out") fingerprints (bases x settings)"
else
  echo "DIFFERENT fingerprints (< reference, > this build):"
  diff "$reference" "$out" || true
  exit 1
fi
