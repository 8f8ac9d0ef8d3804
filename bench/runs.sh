#!/usr/bin/env bash
# Speed of korvane's two long runs, `korvane blocks format` of 100 blocks of 1.44M into a 160 MiB image and
# `korvane format --fill` of a 513 MiB image (a 512 MiB data area), against two writers of the same bytes:
#   - replay (bench/replay.c): korvane's own write calls, the same offsets and lengths recorded with strace from a
#     run of korvane, made with pwrite and nothing else: what the write pattern costs, without korvane's work;
#   - dd: the same number of bytes from offset 0 in 1 MiB writes.
# Every writer writes into the same kind of file: a fresh sparse image pre-sized to the run's size, written in place
# (never truncated or created), from a clean page cache to its data flushed with the same `sync FILE`. Best of RUNS
# runs taken in turns. Then the time a USB 2.0 stick would take, modelled from the simulated machine's counts
# (bench/usb_model.cpp: 1 ms per command, 10 MB/s).
#
#   bench/runs.sh            # RUNS=5, files under build/bench
#   RUNS=9 BENCH_DIR=/mnt/x bench/runs.sh
set -euo pipefail
cd "$(dirname "$0")/.."
RUNS=${RUNS:-5}
DIR=${BENCH_DIR:-build/bench}
KORVANE=build/native/korvane
MODEL=build/native/korvane_usb_model
command -v strace >/dev/null || { echo "strace is needed to record korvane's write calls" >&2; exit 1; }
if [ ! -x "$KORVANE" ] || [ ! -x "$MODEL" ]; then
  cmake --preset native >/dev/null && cmake --build --preset native -j2 --target korvane korvane_usb_model >/dev/null
fi
mkdir -p "$DIR"
IMAGE=$(realpath "$DIR")/bench.img
REPLAY=$DIR/replay
cc -O2 -o "$REPLAY" bench/replay.c
trap 'rm -f "$IMAGE" "$DIR"/*.calls' EXIT

BLOCKS=(blocks format "$IMAGE" --count 100)
FILL=(format "$IMAGE" --cluster 16384 --fill E5)
korvane_blocks() { "$KORVANE" "${BLOCKS[@]}" >/dev/null; }
korvane_fill() { "$KORVANE" "${FILL[@]}" >/dev/null; }

# record RUN SIZE ARGS...: korvane's write calls to the image in a run of `korvane ARGS`, one "OFFSET LENGTH" line
# each, into DIR/RUN.calls.
record() {
  local trace=$DIR/trace.txt
  rm -f "$IMAGE" && truncate -s "$2" "$IMAGE"
  strace -f -y -s 0 -e trace=pwrite64,write,pwritev -o "$trace" "$KORVANE" "${@:3}" >/dev/null
  grep "<$IMAGE>" "$trace" | sed -nE 's/^([0-9]+ +)?pwrite64\(.*, ([0-9]+), ([0-9]+)\) = [0-9]+$/\3 \2/p' \
    >"$DIR/$1.calls"
  [ "$(grep -c "<$IMAGE>" "$trace")" -eq "$(wc -l <"$DIR/$1.calls")" ] ||
    { echo "korvane wrote the image otherwise than in whole pwrite64 calls: no replay of it" >&2; exit 1; }
  rm -f "$trace"
}
record blocks 160M "${BLOCKS[@]}"
record fill 513M "${FILL[@]}"
bytes_of() { awk '{ sum += $2 } END { print sum }' "$DIR/$1.calls"; }
calls_of() { wc -l <"$DIR/$1.calls"; }

replay_blocks() { "$REPLAY" "$IMAGE" <"$DIR/blocks.calls"; }
replay_fill() { "$REPLAY" "$IMAGE" <"$DIR/fill.calls"; }
dd_blocks() { dd if=/dev/zero of="$IMAGE" bs=1M count="$(bytes_of blocks)" iflag=count_bytes conv=notrunc status=none; }
dd_fill() { dd if=/dev/zero of="$IMAGE" bs=1M count="$(bytes_of fill)" iflag=count_bytes conv=notrunc status=none; }

now() { date +%s%N; }
# timed SIZE WRITER: wall time in nanoseconds of one run, from a fresh sparse image of SIZE and a clean page cache
# to its data flushed to the disk.
timed() {
  rm -f "$IMAGE"
  truncate -s "$1" "$IMAGE"
  sync
  local start
  start=$(now)
  "$2"
  sync "$IMAGE"
  echo $(($(now) - start))
}

declare -A best
for ((round = 0; round < RUNS; round++)); do
  for run in blocks:160M fill:513M; do
    for writer in korvane replay dd; do
      ns=$(timed "${run#*:}" "${writer}_${run%:*}")
      key=${writer}_${run%:*}
      [ -n "${best[$key]:-}" ] && [ "${best[$key]}" -le "$ns" ] || best[$key]=$ns
    done
  done
done

ms() { awk -v ns="$1" 'BEGIN { printf "%.1f ms", ns / 1e6 }'; }
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", a / b }'; }
report() {  # report RUN TITLE TARGET
  local k=${best[korvane_$1]} r=${best[replay_$1]} d=${best[dd_$1]}
  echo "$2 ($(bytes_of "$1") bytes in $(calls_of "$1") writes): korvane $(ms "$k"), replay $(ms "$r")" \
    "($(ratio "$k" "$r")x), dd 1 MiB $(ms "$d") ($(ratio "$k" "$d")x; target: at most $3)"
}
echo "best of $RUNS runs, each into a pre-sized sparse image written in place and flushed, in $DIR"
report blocks "100 blocks of 1.44M" 1.15
report fill "512 MiB fill" 1.1
echo "modelled on USB 2.0 (1 ms per command, 10 MB/s; target: within 5% of bytes alone):"
"$MODEL" "$DIR"
