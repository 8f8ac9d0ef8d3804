#!/bin/bash
# Disks larger than 2 GiB, as sparse image files: korvane reaches every sector past the 2 GiB line. A 3.5 GiB stick
# formats as FAT16 with 64 KiB clusters, its data area filled to the volume's end, and passes the capacity check and
# read-back of --verify, whose markers lie all over the disk; floppy blocks that cross the line or lie beyond it
# format, list, take and give back files, rename and export like any other; a floppy image goes where --at puts it.
. "$(dirname "$0")/lib.sh"
: "${KORVANE:?}"
need fsck.fat mdir mcopy cmp python3

case_name="a 3.5 GiB stick: FAT16, 64 KiB clusters, --fill, --verify"
STICK=$WORK/stick.img
truncate -s 3584M "$STICK"
out=$("$KORVANE" format "$STICK" --cluster 65536 --label BIG --fill E5 --verify 2>&1) || fail "korvane format: $out"
case "$out" in *"FAT16, 7340032 sectors"*) ;; *) fail "unexpected summary: $out" ;; esac
for sector in 4194304 7340030; do  # 2 GiB, and the last sector of the fill
  [ "$(od -An -tx1 -j $((sector * 512)) -N 16 "$STICK" | tr -d " \n")" = "$(printf 'e5%.0s' $(seq 16))" ] || fail "sector $sector not filled"
done
fsck_clean "$STICK"
roundtrip "$STICK" 300000
rm -f "$STICK"

# A partition that begins 304 sectors below 2 GiB: block 0 crosses the line, its data area lying past it, and
# the blocks after it lie wholly beyond.
case_name="1.44M blocks across and beyond 2 GiB"
IMG=$WORK/blocks.img
START=4194000
truncate -s 2200M "$IMG"
mbr "$IMG" "$START" $((5 * 3072))
out=$("$KORVANE" blocks format "$IMG" --count 5 --verify 2>&1) || fail "blocks format: $out"
[ "$("$KORVANE" blocks list "$IMG" | tail -n 1)" = "valid blocks: 5" ] || fail "blocks list: $("$KORVANE" blocks list "$IMG")"
for n in 0 4; do floppy_at "$IMG" $((START + n * 3072)) 2880 "FLPPY$n"; done
for n in 0 3; do
  rm -f "$WORK/IN.BIN"
  "$KORVANE" blocks put "$IMG" "$n" "$WORK/in.bin" >/dev/null && "$KORVANE" blocks get "$IMG" "$n" IN.BIN --to "$WORK" \
    >/dev/null && cmp -s "$WORK/in.bin" "$WORK/IN.BIN" || fail "IN.BIN does not come back from block $n"
done
"$KORVANE" blocks ls "$IMG" 3 | grep -q "^IN.BIN  *300000 " || fail "block 3 does not list IN.BIN"
"$KORVANE" files ls "$IMG" | grep -q "^IN.BIN  *300000 " || fail "the first volume (block 0) does not list IN.BIN"
"$KORVANE" blocks label "$IMG" 4 far >/dev/null || fail "label failed"
"$KORVANE" blocks export "$IMG" 4 "$WORK/four.img" >/dev/null || fail "export failed"
floppy_at "$WORK/four.img" 0 2880 FAR
cut "$IMG" $((START + 3 * 3072)) 2880 "$WORK/block.img"
same_as_mtools "$WORK/block.img" IN.BIN "$WORK/in.bin"

case_name="a floppy image at --at beyond 2 GiB"
"$KORVANE" floppy "$IMG" --kind 720K --at 4400000 --label AT >/dev/null || fail "korvane floppy failed"
floppy_at "$IMG" 4400000 1440 AT

finish
