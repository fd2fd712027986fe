#!/usr/bin/env bash
# Sets up, builds and runs the patcher.
#
#   scripts/run.sh              the patcher window (kelm-patcher.exe under Wine)
#   scripts/run.sh cli ARGS...  the command line, kelm-patch ARGS (default --help)
#
# Without an X display the window cannot open: the command line's help is shown.
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
bash "$here/scripts/setup.sh" >/dev/null
if [ "${1:-}" = "cli" ]; then
  shift
  bash "$here/scripts/build.sh" linux >/dev/null
  [ "$#" -gt 0 ] || set -- --help
  exec "$here/build/linux/bin/kelm-patch" "$@"
fi
bash "$here/scripts/build.sh" linux windows >/dev/null
if [ -z "${DISPLAY:-}" ]; then
  echo "run: no X display (DISPLAY is not set), so the patcher window cannot open; the command line:" >&2
  exec "$here/build/linux/bin/kelm-patch" --help
fi
bash "$here/scripts/wine.sh" --boot
exec bash "$here/scripts/wine.sh" "$here/build/windows/bin/kelm-patcher.exe"
