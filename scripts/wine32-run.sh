#!/usr/bin/env bash
# Runs a 32-bit Windows program under Wine. This kernel runs no 32-bit x86 code, so the 32-bit half of Wine runs
# under qemu-i386 (user-mode emulation), in a private user and mount namespace: there the 32-bit Wine and its i386
# libraries (prepared by scripts/setup.sh in $KORVANE_WINE32_ROOT) are laid over /usr, and a binfmt_misc entry of
# the namespace's own hands i386 programs to qemu-i386. Nothing changes outside the namespace.
#
#   scripts/wine32-run.sh [--arch wow64|win32] [--winver VERSION] [--exec] COMMAND [ARG...]
#
# --arch wow64 (the default): a 64-bit prefix, the program started by wine64, which hands it to the 32-bit loader:
#   a 32-bit program on 64-bit Windows; the wineserver and Wine's system processes stay native 64-bit.
# --arch win32: a 32-bit prefix, as on Windows 2000/XP x86; every Windows process there is emulated.
# --winver: the Windows version the prefix reports (winecfg -v: win2k, winxp, win7, ...).
# --exec: runs COMMAND as it is inside the namespace (a script that starts several Wine programs, with $WINE set to
#   the loader of the prefix), instead of the Windows program COMMAND.
# The prefix: $WINEPREFIX, or ${KORVANE_WINE_PREFIX_BASE:-~/.wine-korvane}-<arch>[-<winver>]. A display as in scripts/wine-run.sh.
set -u
root="${KORVANE_WINE32_ROOT:-/opt/korvane-wine32}/root"
fail() {
  echo "wine32-run: 32-bit Windows programs cannot run on this machine: $*" >&2
  exit 1
}

if [ -z "${KORVANE_WINE32_NAMESPACE:-}" ]; then
  [ -x "$root/usr/bin/qemu-i386" ] && [ -x "$root/usr/lib/wine/wine" ] ||
    fail "$root holds no 32-bit Wine and qemu-i386; scripts/setup.sh prepares them"
  export KORVANE_WINE32_NAMESPACE=1
  exec unshare --user --map-root-user --mount --propagation private bash "$0" "$@"
fi

arch=wow64
winver=""
exec_mode=""
while [ $# -gt 0 ]; do
  case "$1" in
    --arch) arch=$2; shift 2 ;;
    --winver) winver=$2; shift 2 ;;
    --exec) exec_mode=1; shift ;;
    *) break ;;
  esac
done
[ $# -gt 0 ] || { echo "usage: wine32-run.sh [--arch wow64|win32] [--winver VERSION] [--exec] COMMAND [ARG...]" >&2; exit 2; }

mount -t overlay korvane-wine32 -o "lowerdir=$root/usr:/usr" /usr 2>/dev/null ||
  fail "cannot lay the 32-bit Wine over /usr in a user namespace (overlayfs)"
# Each user namespace has a binfmt_misc of its own from Linux 6.7 on.
mount -t binfmt_misc binfmt_misc /proc/sys/fs/binfmt_misc 2>/dev/null ||
  fail "cannot mount a binfmt_misc of its own in a user namespace (Linux 6.7 or later does it; this is $(uname -r))"
# i386 ELF executables and shared objects, sent to qemu-i386 (F: the interpreter is opened now, once).
magic='\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00'
mask='\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff'
echo ":i386:M::$magic:$mask:/usr/bin/qemu-i386:F" >/proc/sys/fs/binfmt_misc/register 2>/dev/null ||
  fail "cannot register qemu-i386 with binfmt_misc"

case "$arch" in
  wow64) export WINE=/usr/lib/wine/wine64 WINEARCH=win64 ;;
  win32) export WINE=/usr/lib/wine/wine WINEARCH=win32 ;;
  *) echo "wine32-run: --arch is wow64 or win32" >&2; exit 2 ;;
esac
export WINEPREFIX="${WINEPREFIX:-${KORVANE_WINE_PREFIX_BASE:-$HOME/.wine-korvane}-$arch${winver:+-$winver}}"
export WINEDEBUG="${WINEDEBUG:--all}"
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml=}"
. "$(dirname "$0")/display.sh"
start_display

# The prefix is made inside the namespace, so that its syswow64 gets the 32-bit DLLs; one maker at a time.
mkdir -p "$(dirname "$WINEPREFIX")"
exec 9>"$WINEPREFIX.lock"
flock 9
if [ ! -f "$WINEPREFIX/.korvane-ready" ]; then
  rm -rf "$WINEPREFIX"
  "$WINE" wineboot -i >/dev/null 2>&1
  # Wine draws the window frames itself (no window manager on a bare Xvfb), with the Marlett font of fonts-wine.
  "$WINE" reg add 'HKCU\Software\Wine\X11 Driver' /v Decorated /d N /f >/dev/null 2>&1
  [ -n "$winver" ] && "$WINE" winecfg -v "$winver" >/dev/null 2>&1
  /usr/lib/wine/wineserver -w 2>/dev/null
  fonts="$WINEPREFIX/drive_c/windows/Fonts"
  [ -f /usr/share/wine/fonts/marlett.ttf ] && [ -d "$fonts" ] && cp /usr/share/wine/fonts/marlett.ttf "$fonts/"
  [ -f "$WINEPREFIX/drive_c/windows/syswow64/kernel32.dll" ] || [ "$arch" = win32 ] ||
    fail "the new prefix $WINEPREFIX has no 32-bit system DLLs"
  [ -f "$WINEPREFIX/drive_c/windows/system32/kernel32.dll" ] || fail "Wine did not make the prefix $WINEPREFIX"
  touch "$WINEPREFIX/.korvane-ready"
fi
flock -u 9
exec 9>&-

if [ -n "$exec_mode" ]; then
  "$@"
else
  "$WINE" "$@"
fi
status=$?
if [ -n "$xvfb_pid" ]; then
  /usr/lib/wine/wineserver -k 2>/dev/null
  kill "$xvfb_pid" 2>/dev/null
fi
exit $status
