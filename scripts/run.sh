#!/usr/bin/env bash
# Sets up, builds and runs the patcher.
#
#   scripts/run.sh              the native Linux window (kelm-patcher)
#   scripts/run.sh windows      the Windows program (kelm-patcher.exe) under Wine
#   scripts/run.sh cli ARGS...  the command line, kelm-patch ARGS (default --help)
#   scripts/run.sh web [PORT]   the web page, served at http://127.0.0.1:PORT/ (default 8080)
#
# The native window and the command line need only a few packages; Wine and
# the Windows cross compiler are installed only for `windows`. Without an X
# display no window can open: the command line's help is shown instead.
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$here"
what="${1:-window}"
[ "$#" -gt 0 ] && shift

if [ "$what" = "web" ]; then
  bash scripts/setup.sh web >/dev/null
  bash scripts/build.sh web >/dev/null
  port="${1:-8080}"
  echo "run: the patcher page at http://127.0.0.1:$port/ (Ctrl+C stops it)"
  exec python3 web/serve.py build/web/site "$port"
fi

if [ "$what" = "windows" ]; then
  bash scripts/setup.sh >/dev/null
  bash scripts/build.sh windows >/dev/null
else
  bash scripts/setup.sh native >/dev/null
  [ -f build/linux/build.ninja ] || cmake --preset linux >/dev/null
  cmake --build --preset linux --target kelm-patcher kelm-patch >/dev/null
fi

if [ "$what" = "cli" ]; then
  [ "$#" -gt 0 ] || set -- --help
  exec build/linux/bin/kelm-patch "$@"
fi
if [ -z "${DISPLAY:-}" ]; then
  echo "run: no X display (DISPLAY is not set), so the patcher window cannot open; the command line:" >&2
  exec build/linux/bin/kelm-patch --help
fi
if [ "$what" = "windows" ]; then
  bash scripts/wine.sh --boot
  # A test run's Wine server keeps its programs on its own display.
  if held=$(bash scripts/wine.sh --display) && [ "$held" != "$DISPLAY" ]; then
    echo "run: the Wine prefix is held by a test run's server on display $held; run again once it ends" \
         "(or stop it: bash scripts/wine.sh --stop)" >&2
    exit 1
  fi
  exec bash scripts/wine.sh build/windows/bin/kelm-patcher.exe
fi
exec build/linux/bin/kelm-patcher
