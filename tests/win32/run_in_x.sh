#!/usr/bin/env bash
# Runs a Windows test program under Wine in a private X server.
#
# Wine's desktop process stays bound to the display of whichever program
# started the wineserver, and the server outlives its programs by a few
# seconds; a program started meanwhile with another display cannot open a
# window. So every run gets a wineserver of its own: any lingering one is
# stopped first, and this run's is stopped before its X server goes away.
set -u
wine=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)/scripts/wine.sh
"$wine" --server -k 2>/dev/null
"$wine" --server -w 2>/dev/null
exec xvfb-run -a -s "-screen 0 1280x1024x24" \
  bash -c 'w=$1; shift; "$w" "$@"; rc=$?; "$w" --server -k 2>/dev/null; exit $rc' run_in_x "$wine" "$@"
