#!/usr/bin/env bash
# Configures (first time) and builds the given presets: linux, windows or both.
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$here"
for preset in "${@:-linux windows}"; do
  for p in $preset; do
    [ -f "build/$p/build.ninja" ] || cmake --preset "$p" >/dev/null
    cmake --build --preset "$p"
  done
done
