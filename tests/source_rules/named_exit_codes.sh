#!/usr/bin/env bash
# Exit codes are written by their names (ExitCode in include/kavro/solver.hpp), never as bare
# numbers: a comparison or assignment of an exit code with a literal, or a literal handed to
# setExit, fails this test with the lines that do it. (Assigning a literal to an ExitCode
# variable does not compile; this catches what the compiler lets through.)
# Usage: named_exit_codes.sh SOURCE_ROOT
set -uo pipefail
root="${1:?usage: named_exit_codes.sh SOURCE_ROOT}"
pattern='([Ee]xit[A-Za-z]*|stopCode_?)(\(\))?[[:space:]]*(==|!=|<=|>=|<|>|=)[[:space:]]*-?[0-9]|setExit\([[:space:]]*[0-9]|<ExitCode>\([[:space:]]*-?[0-9]'
found="$(grep -rnE "$pattern" "$root/src" "$root/include" --include='*.cpp' --include='*.hpp' --include='*.h' | grep -v '^\s*//')"
if [ -n "$found" ]; then
  echo "Exit codes written as numbers (use the ExitCode names):"
  echo "$found"
  exit 1
fi
echo "no exit code written as a number in src/ and include/"
