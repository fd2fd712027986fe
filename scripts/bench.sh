#!/usr/bin/env bash
# Every benchmark, both windows, one run; prints a table of ratios against the
# baselines measured in the same run.
#
#   scripts/bench.sh [ROUNDS]     launch rounds per program (default 25: a launch under Wine
#                                 varies by a fifth from one to the next)
#
# The Windows programs are measured stripped, as they ship.
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$here"
rounds="${1:-25}"
bash scripts/setup.sh >/dev/null
bash scripts/build.sh linux windows web >/dev/null
cmake --build --preset linux --target kelm_bench kelm_bench_frame kelm_bare_gtk kelm-patcher-bench >/dev/null
cmake --build --preset windows --target kelm_bench_frame kelm_bare_win32 kelm-patcher-bench >/dev/null
bash scripts/wine.sh --boot

out=build/bench
mkdir -p "$out"
for exe in kelm_bench_frame kelm_bare_win32 kelm-patcher-bench; do
  x86_64-w64-mingw32-strip -o "$out/$exe.exe" "build/windows/bin/$exe.exe"
done

# One Wine server for the whole run, on a private X server that the native
# programs share.
env -u DISPLAY bash scripts/wine.sh --server
trap 'bash scripts/wine.sh --stop' EXIT
export DISPLAY=$(bash scripts/wine.sh --display) GTK_USE_PORTAL=0 NO_AT_BRIDGE=1 GSETTINGS_BACKEND=memory

echo "== identification against one MD5 pass (target <= 1.20)"
build/linux/bin/kelm_bench --benchmark_format=console 2>/dev/null | grep -E 'md5 =|BM_' || true

echo
echo "== one frame: declare, walk, draw, present (target < 1 ms natively); memory after 10, 100 and 10,000 frames"
printf '%-10s %s\n' linux "$(build/linux/bin/kelm_bench_frame | tr '\n' ' ')"
printf '%-10s %s\n' windows "$(bash scripts/wine.sh "$out/kelm_bench_frame.exe" | tr -d '\r' | tr '\n' ' ')"

echo
echo "== native window against a bare GTK 3 window (targets: launch <= 1.1, memory <= 1.15)"
python3 bench/bench_window.py --patcher build/linux/bin/kelm-patcher-bench --bare build/linux/bin/kelm_bare_gtk \
  --rounds "$rounds" 2>/dev/null

echo
echo "== Windows program under Wine against a bare Win32 + GDI+ window (same targets)"
python3 bench/bench_window.py --patcher "$out/kelm-patcher-bench.exe" --bare "$out/kelm_bare_win32.exe" \
  --rounds "$rounds" --idle 5 --wine scripts/wine.sh 2>/dev/null

echo
echo "== the web page in headless Chromium"
node bench/bench_page.mjs build/web/site
