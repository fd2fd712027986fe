#!/usr/bin/env bash
# Sets up, builds both presets and runs every test: natively, then the Windows
# build under Wine.
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$here"
bash scripts/setup.sh
bash scripts/build.sh linux windows

bash scripts/wine.sh --boot || true

status=0
ctest --preset linux || status=1
ctest --preset windows || status=1
exit $status
