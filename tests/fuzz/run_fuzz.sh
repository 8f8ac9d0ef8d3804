#!/bin/sh
# run_fuzz.sh TARGET SECONDS CORPUS: fuzzes for SECONDS from the committed CORPUS; new inputs go to a temporary
# folder that is removed afterwards. A crash, a leak or a trap fails the test and leaves libFuzzer's report.
target=$1 seconds=$2 corpus=$3
found=$(mktemp -d) || exit 1
trap 'rm -rf "$found"' EXIT
TMPDIR=$found "$target" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -print_final_stats=1 \
  -artifact_prefix="$found/" "$found" "$corpus"
