#!/usr/bin/env bash
# Installs what is missing, builds the four builds and runs every test: native (also under ASan and UBSan),
# the oracles (fsck.fat, mtools, QEMU), the import check of both Windows builds, the Windows programs of both builds
# under Wine (the 32-bit ones under qemu-i386, also as on Windows XP and 2000) and the fuzz targets (libFuzzer, a short fixed time each), then builds the release packages and checks them
# (scripts/check-packages.py).
set -uo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh || exit 1

jobs=$(nproc)
for preset in native native-asan win32 win64 fuzz; do
  echo "== build $preset"
  cmake --preset "$preset" >"build-$preset.log" 2>&1 && cmake --build --preset "$preset" -j"$jobs" >>"build-$preset.log" 2>&1
  status=$?
  if [ $status -ne 0 ]; then
    tail -n 60 "build-$preset.log"
    echo "build $preset failed"
    exit 1
  fi
  mv "build-$preset.log" "build/$preset/build.log"
done

# One virtual display for every Wine test.
. scripts/display.sh
start_display 1
[ -n "$xvfb_pid" ] && trap 'kill $xvfb_pid 2>/dev/null' EXIT

passed=0
failed=0
run_ctest() {
  local preset=$1
  shift
  echo "== test $preset"
  ctest --preset "$preset" -j"$jobs" "$@" 2>&1 | tee "build/$preset/ctest.log"
  local line
  line=$(grep -E 'tests passed, [0-9]+ tests failed out of [0-9]+' "build/$preset/ctest.log" | tail -n 1)
  if [ -z "$line" ]; then
    failed=$((failed + 1))
    return
  fi
  local total bad
  total=$(echo "$line" | sed -E 's/.* out of ([0-9]+).*/\1/')
  bad=$(echo "$line" | sed -E 's/.* ([0-9]+) tests failed.*/\1/')
  passed=$((passed + total - bad))
  failed=$((failed + bad))
}
run_ctest native
run_ctest native-asan
# The 32-bit build's Wine suites (scripts/wine32-run.sh): WoW64, Windows XP and Windows 2000 each have a prefix of
# their own, and the GUI suites run alone.
run_ctest win32
run_ctest win64 -j1
WINEPREFIX="$HOME/.wine-korvane" /usr/lib/wine/wineserver -k 2>/dev/null
run_ctest fuzz

echo "== packages"
if scripts/check-packages.py 2>&1 | tee build/packages.log; then
  passed=$((passed + 1))
else
  failed=$((failed + 1))
fi

echo "total: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
