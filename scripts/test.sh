#!/usr/bin/env bash
# Sets up, builds and runs every test: natively, natively under the sanitizers,
# the Windows build under Wine, then the web page (the engine under node, the
# page in Chromium, Firefox and WebKit), then the release packages: checked,
# signed with throwaway keys, and built twice to the same bytes.
#
# The Windows suite spends its time waiting on Wine and on X, not computing:
# it runs beside the native builds and suites, which yield it the processor
# (nice), and its log follows theirs. Each step's time is printed at its end.
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$here"

started=$SECONDS
step_started=$SECONDS
step() {   # step NAME: closes the step before with its time
  local now=$SECONDS
  [ -z "${step_name:-}" ] || printf 'test: %-28s %4d s\n' "$step_name" $((now - step_started)) >>"$times"
  step_name=$1 step_started=$now
}
times=$(mktemp)
windows=
# A run that stops early takes the Windows suite with it.
trap 'rm -f "$times"; [ -z "$windows" ] || pkill -TERM -P "$windows" 2>/dev/null || true' EXIT

step setup
bash scripts/setup.sh
step "build linux, windows"
bash scripts/build.sh linux windows

# The Windows suite, beside everything up to the web page's tests.
mkdir -p build/windows
windows_log=build/windows/suite.log
windows_started=$SECONDS
{ bash scripts/wine.sh --boot; ctest --preset windows; } >"$windows_log" 2>&1 &
windows=$!

status=0
step "build asan, web (nice)"
nice -n 10 bash scripts/build.sh asan web
step "suite linux"
nice -n 10 ctest --preset linux || status=1
# The native suite again, built with AddressSanitizer and UndefinedBehaviorSanitizer.
step "suite asan"
nice -n 10 ctest --preset asan || status=1

step "suite windows (rest)"
windows_status=0
wait "$windows" || windows_status=$?
windows=
echo "test: the Windows suite, run beside the ones above ($((SECONDS - windows_started)) s in all):"
cat "$windows_log"
[ "$windows_status" -eq 0 ] || status=1

step "suite web"
ctest --preset web || status=1
# A short run of each fuzzer (scripts/fuzz.sh SECONDS runs longer ones).
step fuzz
bash scripts/fuzz.sh 20 || status=1
# The release packages, made and checked as a user would get them.
step packages
{ bash scripts/package.sh && python3 tests/package/check_packages.py; } || status=1
# Signed with throwaway keys, and the signatures checked as a user would.
step signing
python3 tests/package/check_signing.py || status=1
# Two builds under different conditions: the same bytes. The packages just
# made are the first, when this checkout is HEAD as committed.
step reproducible
bash scripts/check_reproducible.sh --first build/packages || status=1
step end

cat "$times"
echo "test: $((SECONDS - started)) s in all; $([ "$status" -eq 0 ] && echo passed || echo FAILED)"
exit $status
