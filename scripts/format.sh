#!/usr/bin/env bash
# Checks that the C++ sources follow .clang-format: lists every file that would change
# and exits 1 if there is one. With --fix, rewrites them in place instead.
# The files are those git tracks (*.cpp, *.h), or the ones named after the options.
set -euo pipefail
cd "$(dirname "$0")/.."
fix=0
if [ "${1:-}" = "--fix" ]; then fix=1; shift; fi
CLANG_FORMAT=${CLANG_FORMAT:-clang-format}
command -v "$CLANG_FORMAT" >/dev/null || { echo "format: $CLANG_FORMAT not found" >&2; exit 2; }
if [ $# -gt 0 ]; then files=("$@"); else mapfile -t files < <(git ls-files '*.cpp' '*.h'); fi
if [ $fix -eq 1 ]; then
  printf '%s\0' "${files[@]}" | xargs -0 -r "$CLANG_FORMAT" -i
  exit 0
fi
# one run over all files; the files that would change are those it reports
mapfile -t bad < <(printf '%s\0' "${files[@]}" |
  xargs -0 -r "$CLANG_FORMAT" --dry-run 2>&1 |
  sed -n 's/^\(.*\):[0-9]*:[0-9]*: \(warning\|error\): code should be clang-formatted.*/\1/p' | sort -u)
if [ ${#bad[@]} -gt 0 ]; then
  echo "format: ${#bad[@]} file(s) do not follow .clang-format (scripts/format.sh --fix rewrites them):" >&2
  printf '  %s\n' "${bad[@]}" >&2
  exit 1
fi
echo "format: ${#files[@]} files follow .clang-format"
