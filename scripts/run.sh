#!/usr/bin/env bash
# Installs what is missing, builds the simulated Windows program and starts it under Wine against the default
# simulated USB stick. With a display it runs until you close it; without one it runs under Xvfb for a few seconds
# and saves a screenshot to build/screenshots/run.png.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
cmake --preset win64 >/dev/null
cmake --build --preset win64 -j"$(nproc)" --target Korvane-sim >/dev/null
program="$PWD/build/win64/Korvane-sim.exe"
if [ -n "${DISPLAY:-}" ]; then
  exec scripts/wine-run.sh "$program"
fi
mkdir -p build/screenshots
n=99
Xvfb ":$n" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
xvfb_pid=$!
export DISPLAY=":$n"
sleep 1
# The first run creates the Wine prefix, which takes a while: do it before the screenshot's clock starts.
scripts/wine-run.sh wineboot >/dev/null 2>&1 || true
scripts/wine-run.sh "$program" &
sleep "${KORVANE_RUN_SECONDS:-12}"
import -window root build/screenshots/run.png
echo "screenshot: build/screenshots/run.png"
/usr/lib/wine/wineserver -k 2>/dev/null || true
kill "$xvfb_pid" 2>/dev/null || true
