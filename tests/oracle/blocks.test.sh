#!/bin/bash
# Floppy blocks written by `korvane blocks`, checked by fsck.fat and mtools: each block of a batch, cut out at its
# offset (from the first partition when there is one), is a sound FAT12 floppy with its identifier; export gives
# a block's bytes, import puts an image's bytes into its block, and a renamed identifier is what mtools reads;
# QEMU boots a bootable block where it lies.
. "$(dirname "$0")/lib.sh"
: "${KORVANE:?}"
need fsck.fat mdir mcopy mformat python3 cmp

# check_batch IMAGE AREA_START KIND BLOCK_SECTORS IMAGE_SECTORS COUNT
check_batch() {
  for ((n = 0; n < $6; n++)); do floppy_at "$1" $(($2 + n * $4)) "$5" "FLPPY$n"; done
  local listed
  listed=$("$KORVANE" blocks list "$1" --kind "$3" | tail -n 1)
  [ "$listed" = "valid blocks: $6" ] || fail "list ends with '$listed'"
}

case_name="100 1.44M blocks over a whole image"
IMG=$WORK/whole.img
truncate -s 160M "$IMG"
"$KORVANE" blocks format "$IMG" --count 100 >/dev/null || fail "format failed"
check_batch "$IMG" 0 1.44M 3072 2880 100

for kind in 720K:2048:1440 1.2M:3072:2400; do
  IFS=: read -r name blockSectors imageSectors <<<"$kind"
  case_name="$name blocks from the first partition"
  PART=$WORK/part-$name.img
  truncate -s 32M "$PART"
  mbr "$PART" 2048 $((10 * blockSectors + 100))
  cut "$PART" 0 1 "$WORK/mbr-before"
  "$KORVANE" blocks format "$PART" --kind "$name" --count 12 >/dev/null 2>&1 || fail "$name format failed"
  check_batch "$PART" 2048 "$name" "$blockSectors" "$imageSectors" 10
  cut "$PART" 0 1 "$WORK/mbr-after"
  cmp -s "$WORK/mbr-before" "$WORK/mbr-after" || fail "$name: the MBR changed"
  # Files in a block of two-sector clusters: what korvane puts, mtools reads.
  head -c 5000 /dev/urandom >"$WORK/in.bin"
  "$KORVANE" blocks mkdir "$PART" 2 --kind "$name" sub >/dev/null &&
    "$KORVANE" blocks put "$PART" 2 --kind "$name" "$WORK/in.bin" --to sub >/dev/null || fail "put"
  cut "$PART" $((2048 + 2 * blockSectors)) "$imageSectors" "$WORK/block.img"
  fsck_clean "$WORK/block.img" "put"
  same_as_mtools "$WORK/block.img" SUB/IN.BIN "$WORK/in.bin"
done

case_name="export and rename"
"$KORVANE" blocks export "$IMG" 7 "$WORK/seven.img" >/dev/null || fail "export failed"
cut "$IMG" $((7 * 3072)) 2880 "$WORK/cut7.img"
cmp "$WORK/seven.img" "$WORK/cut7.img" || fail "exported block 7 differs from its bytes"
"$KORVANE" blocks label "$IMG" 9 renamed >/dev/null || fail "label failed"
floppy_at "$IMG" $((9 * 3072)) 2880 RENAMED

case_name="three images into blocks 5 to 7 and out into a folder"
for i in 1 2 3; do
  mformat -C -i "$WORK/set$i.img" -f 1440 -v "SET$i" :: || fail "mformat $i failed"
  printf 'image %s\n' "$i" >"$WORK/note.txt"
  mcopy -i "$WORK/set$i.img" "$WORK/note.txt" ::NOTE.TXT || fail "mcopy $i failed"
done
for n in 4 8; do cut "$IMG" $((n * 3072)) 3072 "neighbour$n"; done
keep neighbour4 neighbour8
"$KORVANE" blocks import "$IMG" 5 "$WORK"/set{1,2,3}.img >/dev/null || fail "import failed"
"$KORVANE" blocks export "$IMG" 5-7 "$WORK/out" >/dev/null || fail "export failed"
for i in 1 2 3; do
  cut "$IMG" $(((4 + i) * 3072)) 2880 "$WORK/in-place.img"
  cmp -s "$WORK/set$i.img" "$WORK/in-place.img" || fail "block $((4 + i)) does not hold set$i.img"
  cmp -s "$WORK/set$i.img" "$WORK/out/00$((4 + i))-SET$i.img" || fail "00$((4 + i))-SET$i.img differs from set$i.img"
done
for n in 4 8; do cut "$IMG" $((n * 3072)) 3072 "neighbour$n"; done
unchanged neighbour4 neighbour8

# Refused before anything is written: NAME|FIRST BLOCK|FILES|EXPECTED TEXT
truncate -s 1000000 "$WORK/short.img"
head -c 1474560 /dev/zero | tr '\0' x >"$WORK/text.img"
keep "$IMG"
while IFS='|' read -r case_name first files expect; do
  # shellcheck disable=SC2086  # the files, relative to the work folder, have no spaces
  runs 1 "$expect" blocks import "$IMG" "$first" $files
  unchanged "$IMG"
done <<'TABLE'
a wrong size in the middle|5|set1.img short.img set3.img|short.img is not a 1.44M floppy image: it holds 1000000 bytes
past the last block|98|set1.img set2.img set3.img|past the last block of
a file with no floppy DBR|5|set1.img text.img|text.img holds no 1.44M floppy DBR
TABLE
# Forced, the file goes in as it is: export --force below gives it back from block 5.
case_name="a file with no floppy DBR, forced"
run 0 blocks import "$IMG" 5 "$WORK/text.img" --force

case_name="existing export files"
runs 1 "006-SET2.img exists; nothing was written" blocks export "$IMG" 5-7 "$WORK/out"
[ -e "$WORK/out/005.img" ] && fail "a refused export wrote 005.img"
run 0 blocks export "$IMG" 5-7 "$WORK/out" --force
cmp -s "$WORK/text.img" "$WORK/out/005.img" || fail "005.img differs from block 5"
runs 1 "seven.img exists" blocks export "$IMG" 6 "$WORK/seven.img"

# Bootable blocks: the identifier is the first root entry, IO.SYS and MSDOS.SYS follow it. QEMU boots the last block
# where it lies on the disk, as an emulator presents it, and the stand-in IO.SYS checks its DOS's contract.
if command -v qemu-system-i386 >/dev/null && [ -f "${BUILD_DIR:-}/testio.sys" ]; then
  # shellcheck source=testio_checks.sh
  . "$ORACLE/testio_checks.sh"
  SYS=$WORK/SysFile
  sysfiles "$SYS"
  for bootable in 1.44M:3072:2880:6.22:622 720K:2048:1440:7.1:71; do
    IFS=: read -r kind blockSectors imageSectors dos entry <<<"$bootable"
    case_name="bootable $kind blocks, DOS $dos"
    BOOT=$WORK/boot-$kind.img
    truncate -s $((3 * blockSectors * 512)) "$BOOT"
    "$KORVANE" blocks format "$BOOT" --kind "$kind" --count 3 --dos "$dos" --sysfiles "$SYS" >/dev/null ||
      { fail "format failed"; continue; }
    boot_testio fda "$BOOT" $((2 * blockSectors * 512)) "$entry" -r $((2 * blockSectors)):"$imageSectors"
  done
else
  echo "note: no QEMU or test IO.SYS, bootable blocks are not booted"
fi

finish
