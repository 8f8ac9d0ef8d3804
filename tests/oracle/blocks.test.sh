#!/bin/bash
# Floppy blocks written by `korvane blocks`, checked by fsck.fat and mtools: every block of a batch format, cut out
# at its offset, is a sound FAT12 floppy carrying its identifier; blocks start at the first partition when there
# is one; export gives the block's bytes, import puts an image's bytes into its block, and a renamed identifier is
# what mtools reads.
set -u
: "${KORVANE:?}"
for tool in fsck.fat mdir mcopy mformat python3 cmp; do
  command -v "$tool" >/dev/null || { echo "$tool missing"; exit 77; }
done
export MTOOLS_SKIP_CHECK=1

WORK=$(mktemp -d)
trap 'rm -rf "$WORK"' EXIT
failures=0
fail() { echo "FAIL [$case_name]: $*"; failures=$((failures + 1)); }

# cut IMAGE START_SECTOR SECTORS OUT: one block's image as a file of its own.
cut() { dd if="$1" of="$4" bs=1M iflag=skip_bytes,count_bytes skip=$(($2 * 512)) count=$(($3 * 512)) status=none; }

# fsck_clean FILE: fsck.fat finds nothing wrong. The identifiers this program writes end in zero bytes rather than
# spaces inside the label's name, which fsck.fat reports as an invalid label; that report alone is accepted.
fsck_clean() {
  local out rest
  out=$(fsck.fat -n "$1" 2>&1)
  local rc=$?
  rest=$(grep -v -e '^fsck.fat ' -e "^Volume label '.*' stored in root directory is not valid\.$" \
    -e '^  Auto-removing label\.$' -e '^Leaving filesystem unchanged\.$' -e '^$' \
    -e "^$1: [0-9]* files, [0-9]*/[0-9]* clusters$" <<<"$out")
  if [ $rc -gt 1 ] || [ -n "$rest" ]; then
    fail "fsck.fat on $(basename "$1") (exit $rc):"
    printf '%s\n' "$out"
  fi
}

# label_is FILE TEXT: mtools reads TEXT as the volume label.
label_is() {
  local got
  got=$(mdir -i "$1" ::/ 2>&1 | sed -n 's/^ Volume in drive : is //p')
  [ "$got" = "$2" ] || fail "$(basename "$1"): label '$got', expected '$2'"
}

# write_mbr IMAGE START LENGTH: an MBR whose first partition is [START, START + LENGTH).
write_mbr() {
  python3 - "$1" "$2" "$3" <<'EOF'
import struct, sys
path, start, length = sys.argv[1], int(sys.argv[2]), int(sys.argv[3])
mbr = bytearray(512)
mbr[446:462] = struct.pack("<B3sB3sII", 0, b"\0\0\0", 0x06, b"\0\0\0", start, length)
mbr[510:512] = b"\x55\xaa"
with open(path, "r+b") as f:
    f.write(mbr)
EOF
}

# check_batch IMAGE AREA_START KIND BLOCK_SECTORS IMAGE_SECTORS COUNT
check_batch() {
  local n start
  for ((n = 0; n < $6; n++)); do
    start=$(($2 + n * $4))
    cut "$1" "$start" "$5" "$WORK/block.img"
    fsck_clean "$WORK/block.img"
    label_is "$WORK/block.img" "FLPPY$n"
  done
  local listed
  listed=$("$KORVANE" blocks list "$1" --kind "$3" | tail -n 1)
  [ "$listed" = "valid blocks: $6" ] || fail "list ends with '$listed', expected 'valid blocks: $6'"
}

case_name="batch of 100 1.44M blocks over a whole image"
IMG=$WORK/whole.img
truncate -s 160M "$IMG"
"$KORVANE" blocks format "$IMG" --count 100 >/dev/null || fail "format failed"
check_batch "$IMG" 0 1.44M 3072 2880 100

case_name="720K and 1.2M blocks from the first partition"
for kind in 720K:2048:1440 1.2M:3072:2400; do
  IFS=: read -r name blockSectors imageSectors <<<"$kind"
  IMG=$WORK/part-$name.img
  truncate -s 32M "$IMG"
  write_mbr "$IMG" 2048 $((10 * blockSectors + 100))
  cut "$IMG" 0 1 "$WORK/mbr-before"
  "$KORVANE" blocks format "$IMG" --kind "$name" --count 12 >/dev/null 2>&1 || fail "$name format failed"
  check_batch "$IMG" 2048 "$name" "$blockSectors" "$imageSectors" 10
  cut "$IMG" 0 1 "$WORK/mbr-after"
  cmp -s "$WORK/mbr-before" "$WORK/mbr-after" || fail "$name: the MBR changed"
done

case_name="export gives the block's bytes"
IMG=$WORK/whole.img
"$KORVANE" blocks export "$IMG" 7 "$WORK/seven.img" >/dev/null || fail "export failed"
cut "$IMG" $((7 * 3072)) 2880 "$WORK/cut7.img"
cmp "$WORK/seven.img" "$WORK/cut7.img" || fail "exported block 7 differs from its bytes"

case_name="import puts an image into its block"
mformat -C -i "$WORK/source.img" -f 1440 -v SOURCE :: || fail "mformat failed"
printf 'floppy block contents\n' >"$WORK/note.txt"
mcopy -i "$WORK/source.img" "$WORK/note.txt" ::NOTE.TXT || fail "mcopy failed"
"$KORVANE" blocks import "$IMG" 5 "$WORK/source.img" >/dev/null || fail "import failed"
"$KORVANE" blocks export "$IMG" 5 "$WORK/back.img" >/dev/null || fail "export after import failed"
cmp "$WORK/source.img" "$WORK/back.img" || fail "block 5 does not read back as the imported image"
cut "$IMG" $((4 * 3072)) 2880 "$WORK/four.img"
cut "$IMG" $((6 * 3072)) 2880 "$WORK/six.img"
label_is "$WORK/four.img" FLPPY4
label_is "$WORK/six.img" FLPPY6
mcopy -n -i "$WORK/back.img" ::NOTE.TXT "$WORK/note-back.txt" && cmp -s "$WORK/note.txt" "$WORK/note-back.txt" ||
  fail "the imported file does not read back"
truncate -s 737280 "$WORK/short.img"
"$KORVANE" blocks import "$IMG" 6 "$WORK/short.img" 2>/dev/null && fail "a 720K image went into a 1.44M block"
cut "$IMG" $((6 * 3072)) 2880 "$WORK/six-after.img"
cmp -s "$WORK/six.img" "$WORK/six-after.img" || fail "a refused import changed block 6"

case_name="renamed identifier"
"$KORVANE" blocks label "$IMG" 9 renamed >/dev/null || fail "label failed"
cut "$IMG" $((9 * 3072)) 2880 "$WORK/nine.img"
label_is "$WORK/nine.img" RENAMED
fsck_clean "$WORK/nine.img"

if [ $failures -ne 0 ]; then
  echo "$failures failures"
  exit 1
fi
echo "blocks oracle passed"
