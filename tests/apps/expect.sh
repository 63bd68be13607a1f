#!/usr/bin/env bash
# expect.sh STATUS PATTERN COMMAND...: runs COMMAND in a fresh temporary directory and checks
# its exit status and that its standard output and error match the extended regular expression
# PATTERN (an empty pattern matches anything).
set -u
want="$1"; pattern="$2"; shift 2
dir="$(mktemp -d)"
trap 'rm -rf "$dir"' EXIT
out="$(cd "$dir" && "$@" 2>&1)"
status=$?
if [ "$status" -ne "$want" ]; then
  echo "exit status $status, expected $want"; echo "$out"; exit 1
fi
if [ -n "$pattern" ] && ! grep -Eq -- "$pattern" <<<"$out"; then
  echo "output does not match: $pattern"; echo "$out"; exit 1
fi
exit 0
