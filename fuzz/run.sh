#!/usr/bin/env bash
# Builds the fuzz targets with clang and runs each for a bounded time (FUZZ_SECONDS,
# default 60) from the seed folder; a crash leaves its input in fuzz/artifacts.
set -euo pipefail
cd "$(dirname "$0")/.."
BUILD=${FUZZ_BUILD_DIR:-build-fuzz}
CC=clang CXX=clang++ cmake -S . -B "$BUILD" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DVEXA_FUZZ=ON -DVEXA_TESTS=OFF -DVEXA_BENCH=OFF >/dev/null
ninja -C "$BUILD" -j2 fuzz_content
mkdir -p fuzz/artifacts "$BUILD/fuzz-corpus"
"$BUILD/bin/fuzz_content" -max_total_time="${FUZZ_SECONDS:-60}" -timeout=10 -rss_limit_mb=2048 \
  -artifact_prefix=fuzz/artifacts/ "$BUILD/fuzz-corpus" fuzz/seeds
