#!/usr/bin/env bash
# Batch format speed: `korvane blocks format` of 100 blocks of 1.44M into a fresh 160 MiB image file, against dd
# writing the same number of bytes to a fresh file, once in 20 KiB writes (the fill's chunk size) and once in
# 1 MiB writes. Every run ends with its data flushed to the disk; the best of RUNS runs counts.
#
#   bench/blocks.sh            # RUNS=5, files under build/bench
#   RUNS=9 BENCH_DIR=/mnt/x bench/blocks.sh
set -euo pipefail
cd "$(dirname "$0")/.."
RUNS=${RUNS:-5}
DIR=${BENCH_DIR:-build/bench}
KORVANE=build/native/korvane
if [ ! -x "$KORVANE" ]; then
  cmake --preset native >/dev/null && cmake --build --preset native -j2 --target korvane >/dev/null
fi
mkdir -p "$DIR"
IMAGE=$DIR/blocks.img
OUT=$DIR/dd.out
trap 'rm -f "$IMAGE" "$OUT"' EXIT

# What the format writes per 1.44M block: the DBR, both FATs, the two FAT heads again, the root directory, the
# label entry again and the data area but its last sector: 1 + 18 + 2 + 14 + 1 + 2846 sectors.
BYTES=$((100 * 2882 * 512))

now() { date +%s%N; }

# timed COMMAND...: wall time in nanoseconds of one run, from a clean page cache to its data flushed to the disk.
# The fresh image is made before the clock starts; each side ends with the same `sync FILE`.
timed() {
  rm -f "$IMAGE" "$OUT"
  truncate -s 160M "$IMAGE"
  sync
  local start
  start=$(now)
  "$@"
  echo $(($(now) - start))
}

format_blocks() {
  "$KORVANE" blocks format "$IMAGE" --count 100 >/dev/null
  sync "$IMAGE"
}
dd_writes() {
  dd if=/dev/zero of="$OUT" bs="$1" count="$BYTES" iflag=count_bytes status=none
  sync "$OUT"
}

# The three take turns, so a busy moment of the machine falls on all of them alike; the best run of each counts.
korvane_ns=0 dd20_ns=0 dd1m_ns=0
shorter() { if [ "$1" -eq 0 ] || [ "$2" -lt "$1" ]; then echo "$2"; else echo "$1"; fi; }
for ((round = 0; round < RUNS; round++)); do
  korvane_ns=$(shorter $korvane_ns "$(timed format_blocks)")
  dd20_ns=$(shorter $dd20_ns "$(timed dd_writes 20K)")
  dd1m_ns=$(shorter $dd1m_ns "$(timed dd_writes 1M)")
done

ms() { awk -v ns="$1" 'BEGIN { printf "%.1f ms", ns / 1e6 }'; }
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", a / b }'; }
echo "bytes written:              $BYTES (100 blocks of 1.44M), best of $RUNS runs, flushed, in $DIR"
echo "korvane blocks format:      $(ms "$korvane_ns")"
echo "dd, 20 KiB writes:          $(ms "$dd20_ns")"
echo "dd, 1 MiB writes:           $(ms "$dd1m_ns")"
echo "korvane / dd 20 KiB:        $(ratio "$korvane_ns" "$dd20_ns") (target: at most 1.20)"
echo "korvane / dd 1 MiB:         $(ratio "$korvane_ns" "$dd1m_ns")"
