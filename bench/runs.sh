#!/usr/bin/env bash
# Speed of korvane's two long runs against dd writing the same bytes in 1 MiB writes, everything flushed, best of
# RUNS runs taken in turns: `korvane blocks format` of 100 blocks of 1.44M into a fresh 160 MiB image, and
# `korvane format --fill` of a fresh 513 MiB image (a 512 MiB data area). Then the time a USB 2.0 stick would
# take, modelled from the simulated machine's counts (bench/usb_model.cpp: 1 ms per command, 10 MB/s).
#
#   bench/runs.sh            # RUNS=5, files under build/bench
#   RUNS=9 BENCH_DIR=/mnt/x bench/runs.sh
set -euo pipefail
cd "$(dirname "$0")/.."
RUNS=${RUNS:-5}
DIR=${BENCH_DIR:-build/bench}
KORVANE=build/native/korvane
MODEL=build/native/korvane_usb_model
if [ ! -x "$KORVANE" ] || [ ! -x "$MODEL" ]; then
  cmake --preset native >/dev/null && cmake --build --preset native -j2 --target korvane korvane_usb_model >/dev/null
fi
mkdir -p "$DIR"
IMAGE=$DIR/bench.img
OUT=$DIR/dd.out
trap 'rm -f "$IMAGE" "$OUT"' EXIT

# The bytes each run writes, as the simulated machine counted them.
model=$("$MODEL" "$DIR")
bytes_of() { sed -n "/^$1/s/.*commands, *\([0-9]*\) bytes.*/\1/p" <<<"$model"; }
BLOCK_BYTES=$(bytes_of "100 blocks")
FILL_BYTES=$(bytes_of "format, 512 MiB")

now() { date +%s%N; }

# timed SIZE COMMAND...: wall time in nanoseconds of one run, from a fresh sparse image of SIZE and a clean page
# cache to its data flushed to the disk; each side ends with the same `sync FILE`.
timed() {
  local size=$1
  shift
  rm -f "$IMAGE" "$OUT"
  truncate -s "$size" "$IMAGE"
  sync
  local start
  start=$(now)
  "$@"
  echo $(($(now) - start))
}

format_blocks() { "$KORVANE" blocks format "$IMAGE" --count 100 >/dev/null && sync "$IMAGE"; }
format_fill() { "$KORVANE" format "$IMAGE" --cluster 16384 --fill E5 >/dev/null && sync "$IMAGE"; }
dd_1m() { dd if=/dev/zero of="$OUT" bs=1M count="$1" iflag=count_bytes status=none && sync "$OUT"; }

shorter() { if [ "$1" -eq 0 ] || [ "$2" -lt "$1" ]; then echo "$2"; else echo "$1"; fi; }
blocks_ns=0 dd_blocks_ns=0 fill_ns=0 dd_fill_ns=0
for ((round = 0; round < RUNS; round++)); do
  blocks_ns=$(shorter $blocks_ns "$(timed 160M format_blocks)")
  dd_blocks_ns=$(shorter $dd_blocks_ns "$(timed 160M dd_1m "$BLOCK_BYTES")")
  fill_ns=$(shorter $fill_ns "$(timed 513M format_fill)")
  dd_fill_ns=$(shorter $dd_fill_ns "$(timed 513M dd_1m "$FILL_BYTES")")
done

ms() { awk -v ns="$1" 'BEGIN { printf "%.1f ms", ns / 1e6 }'; }
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", a / b }'; }
echo "best of $RUNS runs, flushed, in $DIR"
echo "100 blocks of 1.44M ($BLOCK_BYTES bytes): korvane $(ms "$blocks_ns"), dd 1 MiB $(ms "$dd_blocks_ns"):" \
  "$(ratio "$blocks_ns" "$dd_blocks_ns")x (target: at most 1.15)"
echo "512 MiB fill ($FILL_BYTES bytes): korvane $(ms "$fill_ns"), dd 1 MiB $(ms "$dd_fill_ns"):" \
  "$(ratio "$fill_ns" "$dd_fill_ns")x (target: at most 1.1)"
echo "modelled on USB 2.0 (1 ms per command, 10 MB/s; target: within 5% of bytes alone):"
echo "$model"
