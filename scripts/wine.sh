#!/usr/bin/env bash
# Wine as the project runs it, the one place that says how: in the project's
# own prefix (build/wine unless WINEPREFIX names another), without Wine's debug
# chatter, and without the .NET and HTML engines it would offer to install.
#
#   scripts/wine.sh PROGRAM.exe ARGS...   runs a Windows program
#   scripts/wine.sh --server ARGS...      wineserver for the same prefix (-k, -w)
#   scripts/wine.sh --boot                makes the prefix once; its first start takes a while
set -u
here=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
export WINEPREFIX="${WINEPREFIX:-$here/build/wine}"
export WINEDEBUG="${WINEDEBUG:--all}"
export WINEDLLOVERRIDES="mscoree,mshtml=${WINEDLLOVERRIDES:+;$WINEDLLOVERRIDES}"
case "${1:-}" in
  --server) shift; exec wineserver "$@" ;;
  --boot)
    [ -f "$WINEPREFIX/system.reg" ] && exit 0
    echo "wine: making the prefix $WINEPREFIX" >&2
    wineboot -i >/dev/null 2>&1
    exec wineserver -w ;;
esac
exec wine "$@"
