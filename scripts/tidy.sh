#!/usr/bin/env bash
# Runs clang-tidy with the checks of .clang-tidy over the sources of the plug-in, the
# host and the programs (or the files named after the build folder), with the flags of
# the build's compile_commands.json. Exits 1 when clang-tidy reports anything.
# Usage: scripts/tidy.sh [BUILD_DIR] [FILE...]
set -euo pipefail
cd "$(dirname "$0")/.."
BUILD_DIR=${1:-build}
[ $# -gt 0 ] && shift
CLANG_TIDY=${CLANG_TIDY:-clang-tidy}
command -v "$CLANG_TIDY" >/dev/null || { echo "tidy: $CLANG_TIDY not found" >&2; exit 2; }
[ -f "$BUILD_DIR/compile_commands.json" ] ||
  { echo "tidy: no $BUILD_DIR/compile_commands.json; configure the build first" >&2; exit 2; }
# clang reads the build's compile lines without the options only gcc knows
db=$(mktemp -d)
trap 'rm -rf "$db"' EXIT
sed -e 's/ -fno-gnu-unique//g' "$BUILD_DIR/compile_commands.json" >"$db/compile_commands.json"
if [ $# -gt 0 ]; then
  files=("$@")
else
  mapfile -t files < <(git ls-files 'plugin/*.cpp' 'host/*.cpp' 'apps/*.cpp')
fi
raw=$(mktemp)
out=$(mktemp)
trap 'rm -rf "$db" "$raw" "$out"' EXIT
printf '%s\0' "${files[@]}" |
  xargs -0 -r -n 4 -P "$(nproc)" "$CLANG_TIDY" -p "$db" --quiet 2>/dev/null >"$raw" || true
# Only what is said of our own files counts, each diagnostic with the notes after it.
# The installed QPDF's JSON.hh does not compile with clang in C++20 (a vector of the
# class inside the class), an error clang reports in the standard library's headers
# for every file that includes QPDF; the rest of such a file is analysed all the same.
awk -v root="$PWD/" '
  /^[^ ].*:[0-9]+:[0-9]+: (warning|error): / { keep = index($0, root) == 1 }
  keep' "$raw" >"$out"
findings=$(grep -c ': \(warning\|error\): ' "$out" || true)
if [ "$findings" -gt 0 ]; then
  cat "$out"
  echo "tidy: $findings finding(s) in ${#files[@]} files" >&2
  exit 1
fi
echo "tidy: ${#files[@]} files, no findings"
