#!/usr/bin/env bash
# Makes the screenshots of docs/desktop.md with vexa-studio itself, on the offscreen
# platform, in a home of its own (the settings and log of the user stay untouched).
# Run from the top of the source tree after a build.
set -euo pipefail
home=$(mktemp -d)
trap 'rm -rf "$home"' EXIT
mkdir -p "$home/config" "$home/Documents" "$home/data"
env -u VEXA_RESOURCES HOME="$home" XDG_CONFIG_HOME="$home/config" \
    XDG_DOCUMENTS_DIR="$home/Documents" XDG_DATA_HOME="$home/data" QT_QPA_PLATFORM=offscreen \
    build/bin/vexa-studio --language ENU --virtual-clock --run docs/images/desktop.vx
