#!/usr/bin/env bash
# Installs the Debian packages the build, the tests and the benchmarks need.
# Idempotent and quiet when everything is already there.
set -euo pipefail
pkgs=(build-essential cmake ninja-build pkg-config libqpdf-dev qpdf zlib1g-dev
      libgtest-dev libgmock-dev libbenchmark-dev
      poppler-utils ghostscript fonts-urw-base35 fonts-dejavu-core
      qt6-base-dev libpoppler-qt6-dev libpoppler-cpp-dev nlohmann-json3-dev libpng-dev xvfb xauth clang-format
      xdotool imagemagick
      clang clang-tidy libclang-rt-14-dev python3-jsonschema cppcheck lld
      dpkg-dev file lintian systemd bash-completion zsh)
missing=()
for p in "${pkgs[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "setup: installing ${missing[*]}" >&2
  SUDO=""; [ "$(id -u)" -ne 0 ] && SUDO="sudo"
  export DEBIAN_FRONTEND=noninteractive
  $SUDO apt-get update -qq
  $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi
