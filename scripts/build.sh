#!/usr/bin/env bash
# Sets up the machine (Debian packages) and builds everything into ${BUILD_DIR:-build}.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
BUILD_DIR=${BUILD_DIR:-build}
cmake -S . -B "$BUILD_DIR" -G Ninja -DCMAKE_BUILD_TYPE="${BUILD_TYPE:-RelWithDebInfo}" ${CMAKE_EXTRA:-} >/dev/null
cmake --build "$BUILD_DIR" -j "$(nproc)"
