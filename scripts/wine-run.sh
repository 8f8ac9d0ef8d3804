#!/usr/bin/env bash
# Runs a 64-bit Windows program under Wine's 64-bit loader (32-bit ones: scripts/wine32-run.sh), with a display:
# the one in $DISPLAY, or a private Xvfb started for this run.
set -u
export WINEPREFIX="${WINEPREFIX:-$HOME/.wine-korvane}"
export WINEDEBUG="${WINEDEBUG:--all}"
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml=}"
. "$(dirname "$0")/display.sh"
start_display
if [ ! -f "$WINEPREFIX/system.reg" ]; then
  /usr/lib/wine/wine64 wineboot -i >/dev/null 2>&1
  /usr/lib/wine/wineserver -w 2>/dev/null || true
fi
# Wine draws the window frames itself (caption, icon, caption buttons): a bare Xvfb has no window manager to do it,
# and the screenshots of the GUI tests show the captions.
if ! grep -q '^"Decorated"="N"' "$WINEPREFIX/user.reg" 2>/dev/null; then
  /usr/lib/wine/wine64 reg add 'HKCU\Software\Wine\X11 Driver' /v Decorated /d N /f >/dev/null 2>&1
  /usr/lib/wine/wineserver -w 2>/dev/null || true
fi
# Its caption buttons are drawn with the Marlett font (fonts-wine), which Wine finds in the prefix's font folder.
fonts="$WINEPREFIX/drive_c/windows/Fonts"
if [ -f /usr/share/wine/fonts/marlett.ttf ] && [ -d "$fonts" ] && [ ! -f "$fonts/marlett.ttf" ]; then
  cp /usr/share/wine/fonts/marlett.ttf "$fonts/"
fi
/usr/lib/wine/wine64 "$@"
status=$?
if [ -n "$xvfb_pid" ]; then
  /usr/lib/wine/wineserver -k 2>/dev/null
  kill "$xvfb_pid" 2>/dev/null
fi
exit $status
