#!/usr/bin/env bash
# Makes the screenshots of docs/desktop.md with vexa-studio itself, on the offscreen
# platform, in a home of its own (the settings and log of the user stay untouched):
# desktop.vx for the window's features, tour.vx for the tour (which leaves the template
# it builds in build/tour-booklet.pdf).
# Run from the top of the source tree after a build.
set -euo pipefail
for script in desktop tour; do
  home=$(mktemp -d)
  mkdir -p "$home/config" "$home/Documents" "$home/data"
  env -u VEXA_RESOURCES HOME="$home" XDG_CONFIG_HOME="$home/config" \
      XDG_DOCUMENTS_DIR="$home/Documents" XDG_DATA_HOME="$home/data" QT_QPA_PLATFORM=offscreen \
      build/bin/vexa-studio --language ENU --virtual-clock --run "docs/images/$script.vx" ||
    { rm -rf "$home"; exit 1; }
  rm -rf "$home"
done
