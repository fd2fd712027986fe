#!/usr/bin/env bash
# Wine as the project runs it, the one place that says how: in the project's
# own prefix (build/wine unless WINEPREFIX names another), without Wine's debug
# chatter, and without the .NET and HTML engines it would offer to install.
#
#   scripts/wine.sh PROGRAM.exe ARGS...   runs a Windows program
#   scripts/wine.sh --server              starts the prefix's one server, kept up until --stop
#   scripts/wine.sh --display             prints the X display of that server's desktop
#   scripts/wine.sh --stop                stops the server, whatever still runs in it, and its X server
#   scripts/wine.sh --boot                makes the prefix once; its first start takes a while
#
# Left to itself, Wine starts a server that exits the moment its last program
# does, and a program started in that moment meets a server on its way out
# ("wine client error: Connection reset by peer"). A run of many programs (the
# test suite, the benchmark, the package check) starts one server with
# --server instead, and every program of the run connects to it.
#
# Wine's desktop stays on the X display of the first program that opened it,
# as long as the server lives, so a server comes with its display: the caller's
# $DISPLAY, or a private Xvfb when there is none. While the server is up, every
# program started here runs on that display.
set -u
here=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
export WINEPREFIX="${WINEPREFIX:-$here/build/wine}"
export WINEDEBUG="${WINEDEBUG:--all}"
export WINEDLLOVERRIDES="mscoree,mshtml=${WINEDLLOVERRIDES:+;$WINEDLLOVERRIDES}"
record="$WINEPREFIX/.kelm-server"

# The record's display, when its server and X server are both alive.
live_display() {
  [ -f "$record" ] || return 1
  local display xvfb server
  read -r display xvfb server <"$record" || return 1
  kill -0 "$server" 2>/dev/null || return 1
  [ "$xvfb" = - ] || kill -0 "$xvfb" 2>/dev/null || return 1
  printf '%s\n' "$display"
}

stop() {
  if [ -f "$record" ]; then
    local display xvfb server
    read -r display xvfb server <"$record"
    wineserver -k 2>/dev/null
    # The server leaves once its programs are gone; then its X server.
    for _ in $(seq 100); do kill -0 "$server" 2>/dev/null || break; sleep 0.1; done
    kill "$server" 2>/dev/null
    [ "$xvfb" = - ] || kill "$xvfb" 2>/dev/null
    rm -f "$record"
  fi
}

wait_until() {   # wait_until SECONDS WHAT COMMAND...
  local seconds=$1 what=$2
  shift 2
  for _ in $(seq $((seconds * 10))); do "$@" && return 0; sleep 0.1; done
  echo "wine: $what did not come up within $seconds s" >&2
  return 1
}

case "${1:-}" in
  --display)
    live_display ;;
  --stop)
    stop ;;
  --server)
    shift
    [ "$#" -eq 0 ] || { echo "wine: --server takes no arguments (--stop stops the server)" >&2; exit 2; }
    live_display >/dev/null && exit 0
    [ -f "$WINEPREFIX/system.reg" ] || "$0" --boot || exit 1
    # A server left by a program started without ours is bound to that
    # program's display, and a dead record to nothing: neither stays.
    stop
    wineserver -k 2>/dev/null
    wineserver -w 2>/dev/null
    xvfb=-
    if [ -z "${DISPLAY:-}" ]; then
      fifo=$(mktemp -u)
      mkfifo "$fifo"
      setsid Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$fifo" </dev/null >/dev/null 2>&1 &
      xvfb=$!
      read -r -t 30 n <"$fifo"
      rm -f "$fifo"
      [ -n "${n:-}" ] || { kill "$xvfb" 2>/dev/null; echo "wine: Xvfb did not start" >&2; exit 1; }
      export DISPLAY=":$n"
    fi
    # The Debian wrapper passes -p0 first; the -p after it keeps the server up.
    setsid wineserver -f -p </dev/null >/dev/null 2>&1 &
    server=$!
    echo "$DISPLAY $xvfb $server" >"$record"
    # Up once it holds the prefix's lock; a program that comes before it has
    # its socket waits for it.
    wait_until 30 "the Wine server" wineserver -k0 || { stop; exit 1; }
    # The first program starts the services that live as long as the server
    # does, and they keep its standard output: a program here, whose output
    # no one waits on to end, rather than the first of the run.
    wine cmd /c exit </dev/null >/dev/null 2>&1 || { echo "wine: no program starts in the new server" >&2; stop; exit 1; } ;;
  --boot)
    [ -f "$WINEPREFIX/system.reg" ] && exit 0
    echo "wine: making the prefix $WINEPREFIX" >&2
    mkdir -p "$(dirname "$WINEPREFIX")"
    wineboot -i >/dev/null 2>&1
    # This first start had a server of its own, which leaves with it.
    wineserver -w
    [ -f "$WINEPREFIX/system.reg" ] || { echo "wine: wineboot made no prefix in $WINEPREFIX" >&2; exit 1; } ;;
  *)
    if display=$(live_display); then
      export DISPLAY="$display"
    fi
    exec wine "$@" ;;
esac
