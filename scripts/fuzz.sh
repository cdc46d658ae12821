#!/usr/bin/env bash
# Builds every libFuzzer target (fuzz/) with clang and runs each for a bounded time
# (FUZZ_SECONDS each, default 45). Seeds come from fuzz/corpus/NAME/ when present
# (NAME is the target without "fuzz_"), else from the files in fuzz/corpus/. The seed of
# the mutations is fixed (FUZZ_SEED, default 1) so that a run can be repeated; set
# FUZZ_SEED=0 for a fresh one each time.
set -euo pipefail
cd "$(dirname "$0")/.."
if ! command -v clang++ >/dev/null; then
  echo "fuzz: clang++ not found, skipped" >&2
  exit 0
fi
BUILD_DIR=${FUZZ_BUILD_DIR:-build-fuzz}
CC=clang CXX=clang++ cmake -S . -B "$BUILD_DIR" -G Ninja -DCMAKE_BUILD_TYPE=Debug \
  -DVEXA_FUZZ=ON -DVEXA_TESTS=OFF -DVEXA_BENCH=OFF >/dev/null
targets=$(ninja -C "$BUILD_DIR" -t targets all | sed -n 's/^\(fuzz_[A-Za-z0-9_]*\): .*/\1/p' | sort -u)
[ -n "$targets" ] || { echo "fuzz: no targets" >&2; exit 0; }
# shellcheck disable=SC2086
ninja -C "$BUILD_DIR" -j "$(nproc)" $targets
for t in $targets; do
  work=$(mktemp -d)
  seeds="fuzz/corpus/${t#fuzz_}"
  if [ -d "$seeds" ]; then cp -r "$seeds"/. "$work/"; else find fuzz/corpus -maxdepth 1 -type f -exec cp {} "$work/" \;; fi
  echo "fuzz: $t for ${FUZZ_SECONDS:-45} s"
  "$BUILD_DIR/bin/$t" -max_total_time="${FUZZ_SECONDS:-45}" -seed="${FUZZ_SEED:-1}" -max_len=65536 \
    -rss_limit_mb=2048 -print_final_stats=1 "$work" 2>&1 | tail -n 8
  rm -rf "$work"
done
