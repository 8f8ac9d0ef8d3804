#!/bin/bash
# Volumes written by `korvane format`, checked by tools nobody here wrote: fsck.fat accepts them, mtools stores a
# file on each and reads it back unchanged, and QEMU boots a bootable one behind its MBR to the test IO.SYS.
# fsck.fat may only complain about the volume label: this format pads the root directory's label entry with zero
# bytes, which fsck.fat takes for invalid characters.
set -u
: "${KORVANE:?}" "${BUILD_DIR:?}" "${SRC_DIR:?}"
command -v fsck.fat >/dev/null || { echo "fsck.fat missing"; exit 77; }
command -v mcopy >/dev/null || { echo "mtools missing"; exit 77; }
# Disks under 1024 x 32 sectors get 0 heads by design, which mtools would otherwise refuse.
export MTOOLS_SKIP_CHECK=1

WORK=$(mktemp -d)
trap 'rm -rf "$WORK"' EXIT
failures=0
fail() { echo "FAIL [$case_name]: $*"; failures=$((failures + 1)); }

# shellcheck source=testio_checks.sh
. "$SRC_DIR/tests/oracle/testio_checks.sh"

# fsck_clean IMAGE: fsck.fat finds nothing to repair but the label.
fsck_clean() {
  local out rc
  out=$(fsck.fat -n "$1" 2>&1)
  rc=$?
  local expected others
  expected="^(fsck\.fat |Volume label '.*' stored in root directory is not valid\.$|  Auto-removing label\.$"
  expected+="|Leaving filesystem unchanged\.$|$|.*: [0-9]+ files, [0-9]+/[0-9]+ clusters$)"
  others=$(grep -vE "$expected" <<<"$out")
  if [ -n "$others" ] || { [ $rc -ne 0 ] && ! grep -q "^Volume label" <<<"$out"; }; then
    fail "fsck.fat (exit $rc):"
    printf '%s\n' "$out"
  fi
}

# roundtrip IMAGE: a file copied onto the volume reads back identically, and the volume stays consistent.
roundtrip() {
  head -c 70000 /dev/urandom >"$WORK/in.bin"
  mcopy -i "$1" "$WORK/in.bin" ::/IN.BIN || { fail "mcopy onto the volume failed"; return; }
  rm -f "$WORK/out.bin"
  mcopy -n -i "$1" ::/IN.BIN "$WORK/out.bin" || { fail "mcopy from the volume failed"; return; }
  cmp -s "$WORK/in.bin" "$WORK/out.bin" || fail "the file read back differs"
  fsck_clean "$1"
}

# check SECTORS FATBITS ARGS...: formats a fresh image and checks it with both tools.
check() {
  local sectors=$1 bits=$2
  shift 2
  case_name="$sectors sectors $*"
  local img=$WORK/disk.img
  rm -f "$img"
  truncate -s $((sectors * 512)) "$img"
  local out
  out=$("$KORVANE" format "$img" "$@" 2>&1) || { fail "korvane format: $out"; return; }
  grep -q "FAT$bits," <<<"$out" || fail "expected FAT$bits: $out"
  fsck_clean "$img"
  roundtrip "$img"
}

check 2880 12
check 2880 12 --fats 1 --label data
check 4133 12 --cluster 512              # 4,084 clusters, the most FAT12 has
check 4134 16 --cluster 512              # 4,085 clusters
check 66053 16 --cluster 512             # 65,524 clusters, the most FAT16 has
check 40960 16 --cluster 512 --root 512
check 65536 16
check 65536 16 --fats 1 --cluster 4096 --label DISK1
check 16384 16 --cluster 1024 --fill E5 --root 5
check 524288 16 --cluster 32768
check 262144 12 --cluster 65536 --fats 1

# A volume behind an MBR: checked as the partition the MBR describes.
case_name="HDD boot layout"
img=$WORK/hdd.img
mkdir -p "$WORK/sys"
cp "$BUILD_DIR/testio.sys" "$WORK/sys/OS6A" 2>/dev/null || head -c 2048 /dev/zero | tr '\0' 'I' >"$WORK/sys/OS6A"
echo "MSDOS.SYS stand-in" >"$WORK/sys/OS6B"
echo "COMMAND.COM stand-in" >"$WORK/sys/OS6C"
rm -f "$img"
truncate -s $((40960 * 512)) "$img"
out=$("$KORVANE" format "$img" --cluster 512 --dos 6.22 --sysfiles "$WORK/sys" --boot hdd --mbr 63 2>&1) ||
  fail "korvane format: $out"
start=$(od -An -tu4 -j454 -N4 "$img" | tr -d ' ')
[ "$start" = 63 ] || fail "the partition starts at $start"
# 40,960 sectors are fewer than 1024 tracks of 63: a bootable disk still gets 2 heads (not 0), in the BPB and in
# the partition's CHS end (head 1, sector 63, cylinder 40960 / 126 rounded up, less 1 = 325 = 145h).
heads=$(od -An -tu2 -j $((63 * 512 + 26)) -N2 "$img" | tr -d ' ')
[ "$heads" = 2 ] || fail "the BPB has $heads heads"
end=$(od -An -tx1 -j 451 -N3 "$img" | tr -d ' ')
[ "$end" = 017f45 ] || fail "the partition ends at CHS bytes $end"
dd if="$img" of="$WORK/part.img" bs=512 skip=63 status=none
fsck_clean "$WORK/part.img"
mdir -i "$WORK/part.img" ::/IO.SYS >/dev/null || fail "IO.SYS is not on the volume"
roundtrip "$WORK/part.img"

# QEMU boots it: BIOS, the MBR program, the DOS 6.22 boot program, the test IO.SYS; and a DOS 7.1 FAT12 volume
# behind a ZIP layout's MBR, read through the INT 13h extensions QEMU's BIOS offers.
case_name="QEMU boots the HDD layout"
if ! command -v qemu-system-i386 >/dev/null; then
  echo "qemu-system-i386 missing: boot not checked"
elif [ ! -f "$BUILD_DIR/testio.sys" ]; then
  fail "missing $BUILD_DIR/testio.sys (build first)"
else
  out=$("$SRC_DIR/tests/oracle/qemu_boot.sh" -t 20 -u KORVANE-TESTIO hda "$img" 2>&1)
  line=$(testio_report "$out")
  # The data area starts at 63 + 1 + 2 x 159 + 16 = 398 = 18Eh, the sector DOS 6.22 hands IO.SYS in BX.
  expect_field BX 018E
  expect_from_bpb "$img" $((63 * 512)) 80 622

  case_name="QEMU boots a DOS 7.1 FAT12 ZIP layout"
  for f in A B C; do cp "$WORK/sys/OS6$f" "$WORK/sys/OS7$f"; done
  zip=$WORK/zip.img
  truncate -s $((16384 * 512)) "$zip"
  if "$KORVANE" format "$zip" --cluster 4096 --dos 7.1 --sysfiles "$WORK/sys" --boot zip --mbr 32 >"$WORK/out" 2>&1
  then
    out=$("$SRC_DIR/tests/oracle/qemu_boot.sh" -t 20 -u KORVANE-TESTIO hda "$zip" 2>&1)
    line=$(testio_report "$out")
    expect_from_bpb "$zip" $((32 * 512)) 80 71
    expect_field MODE 0E
  else
    fail "korvane format: $(cat "$WORK/out")"
  fi
fi

# Refusals leave the image exactly as it was.
keep=$WORK/keep.img
head -c $((100000 * 512)) /dev/zero | tr '\0' 'K' >"$keep"
kept=$(md5sum <"$keep")
refused() {
  case_name="refused: $*"
  "$KORVANE" format "$keep" "$@" >/dev/null 2>"$WORK/err" && fail "accepted"
  grep -q "nothing was written" "$WORK/err" || fail "message: $(cat "$WORK/err")"
  [ "$(md5sum <"$keep")" = "$kept" ] || fail "the image changed"
}
refused --cluster 512
refused --cluster 512 --dos 6.22 --sysfiles "$WORK/sys" --boot zip --mbr 32
refused --root 513

echo "$failures failure(s)"
[ "$failures" -eq 0 ]
