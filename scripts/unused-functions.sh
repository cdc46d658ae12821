#!/usr/bin/env bash
# Lists the functions of the product that nothing in the product calls (the tests,
# benchmarks and fuzz targets left out), with cppcheck's unusedFunction check, and
# exits 1 when there is one that scripts/unused-functions.keep does not name.
# The plug-in and the host are looked at apart: they share no calls (the plug-in
# reaches the host only through its tables), and a name used in one must not hide
# an uncalled function of the same name in the other.
# Usage: scripts/unused-functions.sh [--all]   (--all also prints the kept ones)
set -euo pipefail
cd "$(dirname "$0")/.."
command -v cppcheck >/dev/null || { echo "unused-functions: cppcheck not found" >&2; exit 2; }
all=0
[ "${1:-}" = "--all" ] && all=1
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
run() {  # name, then the folders
  local name=$1
  shift
  # unusedFunction needs one process for the whole set; the two sets run side by side
  cppcheck --enable=unusedFunction --quiet --std=c++20 --language=c++ \
    --template='{file} {id} {message}' -I sdk -I plugin -I host "$@" 2>"$tmp/$name.raw" >/dev/null || true
}
run plugin plugin/Sources plugin/Common plugin/settings plugin/platform &
run host host apps &
wait
# "file function" for each finding; the keep list names them the same way
cat "$tmp/plugin.raw" "$tmp/host.raw" |
  sed -n "s/^\([^ ]*\) unusedFunction The function '\([^']*\)' is never used.*/\1 \2/p" |
  sort -u >"$tmp/found"
grep -v -e '^#' -e '^[[:space:]]*$' scripts/unused-functions.keep | awk '{print $1, $2}' |
  sort -u >"$tmp/keep"
comm -23 "$tmp/found" "$tmp/keep" >"$tmp/new"
if [ $all -eq 1 ]; then
  echo "kept:"
  comm -12 "$tmp/found" "$tmp/keep" | sed 's/^/  /'
fi
# A kept name that is no longer found is stale: the list says only what is true.
comm -13 "$tmp/found" "$tmp/keep" >"$tmp/stale"
status=0
if [ -s "$tmp/new" ]; then
  echo "unused-functions: nothing in the product calls these (call them or remove them):"
  sed 's/^/  /' "$tmp/new"
  status=1
fi
if [ -s "$tmp/stale" ]; then
  echo "unused-functions: scripts/unused-functions.keep names what is called or gone:"
  sed 's/^/  /' "$tmp/stale"
  status=1
fi
[ $status -eq 0 ] && echo "unused-functions: every function of the product has a caller ($(wc -l <"$tmp/keep") kept by name)"
exit $status
