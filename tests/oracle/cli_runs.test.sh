#!/bin/bash
# Long runs of korvane: SIGINT and SIGTERM stop a run after the transfer in progress (exit 130, the message says
# what is complete), a stopped block batch leaves only complete blocks that list as valid, progress shows on a
# terminal only. A write the host takes only in part counts with the sectors that changed, and a run stopped during
# the capacity check says it changed nothing.
. "$(dirname "$0")/lib.sh"
: "${KORVANE:?}"
need mdir

# interrupt SIGNAL MIN_BLOCKS ARGS...: starts korvane, sends SIGNAL once the target has MIN_BLOCKS 512-byte blocks
# allocated (the run is under way), and keeps its status in $rc and its output in $out.
interrupt() {
  local signal=$1 min=$2 target=$3
  shift 3
  "$KORVANE" "$@" </dev/null >out.txt 2>&1 &
  local pid=$!
  for _ in $(seq 2000); do
    [ "$(stat -c %b "$target" 2>/dev/null || echo 0)" -ge "$min" ] && break
    sleep 0.005
  done
  kill "-$signal" "$pid"
  wait "$pid"
  rc=$?
  out=$(cat out.txt)
}

case_name="SIGINT during a data-area fill"
truncate -s 2000M big.img
interrupt INT 20000 big.img format big.img --cluster 32768 --fill 00
[ "$rc" -eq 130 ] || fail "exit $rc, expected 130: $out"
expect_text "interrupted: the format of big.img stopped"
expect_text "the MBR, DBR, FATs and root directory are written; the data-area fill was cut short: format it again"
[ "$(stat -c %b big.img)" -lt 1000000 ] || fail "the fill went on after the signal"
rm -f big.img

case_name="SIGTERM during a block batch: only complete blocks list as valid"
for attempt in 1 2 3; do
  rm -f disk.img
  truncate -s 160M disk.img
  interrupt TERM 8000 disk.img blocks format disk.img --count 100
  [ "$rc" -eq 0 ] || break  # it finished before the signal came: try again
done
[ "$rc" -eq 130 ] || fail "exit $rc, expected 130: $out"
expect_text "interrupted: the format stopped at floppy block" "format the blocks again"
complete=$(sed -n 's/.*blocks 0 to \([0-9]*\) are complete.*/\1/p' <<<"$out")
valid=$("$KORVANE" blocks list disk.img | sed -n 's/^valid blocks: //p')
[ -n "$complete" ] && [ "$valid" -eq $((complete + 1)) ] || fail "$valid blocks list as valid: $out"
for ((n = 0; n < valid; n++)); do
  "$KORVANE" blocks export disk.img "$n" block.img >/dev/null
  [ "$(label_of block.img)" = "FLPPY$n" ] || fail "block $n lists as valid but mtools reads no label FLPPY$n from it"
  rm -f block.img
done

case_name="progress on a terminal only"
rm -f disk.img
truncate -s 8M disk.img
out=$("$KORVANE" blocks format disk.img --count 5 2>&1 >/dev/null)
case "$out" in *MiB*) fail "progress written to a pipe: $out" ;; esac
if command -v script >/dev/null; then
  out=$(script -qec "$KORVANE blocks format disk.img --count 5" /dev/null </dev/null)
  expect_text "7.0 MiB of 7.0 MiB"
  out=$(script -qec "$KORVANE blocks format disk.img --count 5 --quiet" /dev/null </dev/null)
  case "$out" in *MiB/s*) fail "progress shown with --quiet: $out" ;; esac
fi

# A file size limit (ulimit -f, in KiB) lets a write reach only the bytes before it, as a file system that fills up
# does: the run fails, and its message names the sectors that changed, from the first to the last.
for run in "4000 blocks format full.img --count 5" "16500 format full.img --fill E5" "25 files put full.img in.bin"; do
  read -r kib command <<<"$run"
  case_name="a full file system: $command"
  rm -f full.img
  if [ "$command" = "files put full.img in.bin" ]; then
    "$KORVANE" floppy full.img --kind 1.44M >/dev/null
    head -c 20000 /dev/urandom >in.bin
  else
    truncate -s 64M full.img
  fi
  cp full.img before.img
  # shellcheck disable=SC2086
  out=$( (ulimit -f "$kib" && "$KORVANE" $command) 2>&1)
  rc=$?
  read -r first last < <(cmp -l before.img full.img |
    awk 'NR == 1 {f = $1} {l = $1} END {if (NR) print int((f - 1) / 512), int((l - 1) / 512)}')
  read -r lo hi < <(sed -n 's/.*; sectors \([0-9]*\) to \([0-9]*\) of .* were written before it stopped.*/\1 \2/p' <<<"$out")
  [ "$rc" -eq 1 ] && [ -n "$first" ] && [ -n "$lo" ] && [ "$lo" -le "$first" ] && [ "$hi" -eq "$last" ] &&
    [[ "$out" != *".;"* ]] || fail "exit $rc, sectors ${first:-none} to ${last:-none} changed: $out"
done

# The capacity check of --verify writes markers and puts every old byte back before the first real write: a run
# stopped then changed nothing and says so. The signal comes while the check runs, however fast the machine: a shim
# around pwrite raises SIGINT in korvane right after its first write to the image, a marker of the check, landed.
case_name="SIGINT during the capacity check"
cat >shim.c <<'C'
#define _GNU_SOURCE
#include <dlfcn.h>
#include <signal.h>
#include <sys/types.h>
static ssize_t Forward(const char* name, int fd, const void* buffer, size_t bytes, off_t offset) {
  static int raised;
  ssize_t (*real)(int, const void*, size_t, off_t) = (ssize_t (*)(int, const void*, size_t, off_t))dlsym(RTLD_NEXT, name);
  ssize_t done = real(fd, buffer, bytes, offset);
  if (!raised) {
    raised = 1;
    raise(SIGINT);
  }
  return done;
}
ssize_t pwrite(int fd, const void* b, size_t n, off_t o) { return Forward("pwrite", fd, b, n, o); }
ssize_t pwrite64(int fd, const void* b, size_t n, off_t o) { return Forward("pwrite64", fd, b, n, o); }
C
cc -shared -fPIC -o shim.so shim.c -ldl || fail "the pwrite shim did not build"
truncate -s 256M check.img
LD_PRELOAD=$PWD/shim.so "$KORVANE" format check.img --verify --fill E5 </dev/null >out.txt 2>&1
rc=$?
out=$(cat out.txt)
cmp -s check.img <(head -c 256M /dev/zero) || fail "the image was changed: $out"
[ "$rc" -eq 130 ] || fail "exit $rc, expected 130: $out"
expect_text "interrupted: the format of check.img stopped; nothing was changed (the capacity check put back every byte it wrote)"

finish
