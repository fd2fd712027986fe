#!/usr/bin/env bash
# Sets up, builds and runs every test: natively, natively under the sanitizers,
# the Windows build under Wine, then the web page (the engine under node, the
# page in Chromium), then the release packages: checked, signed with throwaway
# keys, and built twice to the same bytes.
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$here"
bash scripts/setup.sh
bash scripts/build.sh linux asan windows web

bash scripts/wine.sh --boot || true

status=0
ctest --preset linux || status=1
# The native suite again, built with AddressSanitizer and UndefinedBehaviorSanitizer.
ctest --preset asan || status=1
ctest --preset windows || status=1
ctest --preset web || status=1
# A short run of each fuzzer (scripts/fuzz.sh SECONDS runs longer ones).
bash scripts/fuzz.sh 20 || status=1
# The release packages, made and checked as a user would get them.
{ bash scripts/package.sh && python3 tests/package/check_packages.py; } || status=1
# Signed with throwaway keys, and the signatures checked as a user would.
python3 tests/package/check_signing.py || status=1
# Two builds from two fresh clones under different conditions: the same bytes.
bash scripts/check_reproducible.sh || status=1
exit $status
