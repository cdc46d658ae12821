#!/usr/bin/env bash
# Builds the libFuzzer targets with clang and runs each for a bounded time
# (FUZZ_SECONDS, default 60). Skipped when clang is missing.
set -euo pipefail
cd "$(dirname "$0")/.."
if ! command -v clang++ >/dev/null; then
  echo "fuzz: clang++ not found, skipped" >&2
  exit 0
fi
BUILD_DIR=${FUZZ_BUILD_DIR:-build-fuzz}
CC=clang CXX=clang++ cmake -S . -B "$BUILD_DIR" -G Ninja -DCMAKE_BUILD_TYPE=Debug \
  -DVEXA_FUZZ=ON -DVEXA_TESTS=OFF -DVEXA_BENCH=OFF \
  >/dev/null
ninja -C "$BUILD_DIR" -j2 fuzz_settings_xml
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cp fuzz/corpus/* "$work/"
"$BUILD_DIR/bin/fuzz_settings_xml" -max_total_time="${FUZZ_SECONDS:-60}" -max_len=4096 \
  -rss_limit_mb=1024 -print_final_stats=1 "$work" 2>&1 | tail -n 15
