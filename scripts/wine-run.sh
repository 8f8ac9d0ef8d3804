#!/usr/bin/env bash
# Runs a 64-bit Windows program under Wine's 64-bit loader (this kernel runs no 32-bit programs), with a display:
# the one in $DISPLAY, or a private Xvfb started for this run.
set -u
export WINEPREFIX="${WINEPREFIX:-$HOME/.wine-korvane}"
export WINEDEBUG="${WINEDEBUG:--all}"
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml=}"
xvfb_pid=""
if [ -z "${DISPLAY:-}" ]; then
  for n in $(seq 90 130); do
    [ -e "/tmp/.X${n}-lock" ] && continue
    Xvfb ":$n" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
    xvfb_pid=$!
    export DISPLAY=":$n"
    sleep 0.5
    break
  done
fi
if [ ! -f "$WINEPREFIX/system.reg" ]; then
  /usr/lib/wine/wine64 wineboot -i >/dev/null 2>&1
  /usr/lib/wine/wineserver -w 2>/dev/null || true
fi
/usr/lib/wine/wine64 "$@"
status=$?
if [ -n "$xvfb_pid" ]; then
  /usr/lib/wine/wineserver -k 2>/dev/null
  kill "$xvfb_pid" 2>/dev/null
fi
exit $status
