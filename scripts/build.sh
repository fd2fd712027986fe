#!/usr/bin/env bash
# Configures (first time) and builds the given presets (default: linux windows).
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$here"
presets=("$@")
[ "${#presets[@]}" -gt 0 ] || presets=(linux windows)
for p in "${presets[@]}"; do
  [ -f "build/$p/build.ninja" ] || cmake --preset "$p" >/dev/null
  cmake --build --preset "$p"
done
