#!/bin/bash
# Boots the embedded boot programs under QEMU on volumes mkfs.fat lays out: 1.44M floppies with both DBR programs,
# hard-disk volumes behind the MBR program, and the messages each program shows when it cannot boot. The stand-in
# IO.SYS (testio.sys) reports on COM1 the registers it was started with.
. "$(dirname "$0")/lib.sh"
: "${BUILD_DIR:?}" "${SRC_DIR:?}"
need qemu-system-i386 python3 mkfs.fat mcopy
# The interpreter itself, not a version-manager shim: it runs for every boot.
PYTHON=$(python3 -c 'import sys; print(sys.executable)')
export PYTHON

# shellcheck source=testio_checks.sh
. "$ORACLE/testio_checks.sh"
BINS=$BUILD_DIR/boot
CHS=$BUILD_DIR/boot/chs
TESTIO=$BUILD_DIR/testio.sys
for f in "$BINS"/{boot622,boot71,mbr}.bin "$CHS"/{boot622,boot71,mbr}.bin "$TESTIO"; do
  [ -f "$f" ] || { echo "missing $f (build first)"; exit 1; }
done

: > "$WORK/empty"

# boot MEDIA IMAGE [TEXT]: boots and leaves the output in $out and the
# IO.SYS report (if any) in $line.
boot() {
  out=$("$ORACLE/qemu_boot.sh" -t 20 ${3:+-u "$3"} "$1" "$2" 2>&1)
  line=$(testio_report "$out")
}

# expect_screen LINE...: every LINE shows on the screen, and nothing booted.
expect_screen() {
  [ -z "$line" ] || fail "booted although it should not: $line"
  local text
  for text in "$@"; do
    grep -qxF "$text" <<<"$out" || { fail "screen lacks \"$text\""; printf '%s\n' "$out"; }
  done
}

# shellcheck disable=SC2034  # the screens the table below expects, read through eval
MSG71=("Replace the disk, and then press any key")
# shellcheck disable=SC2034
MSG622=("Non-System disk or disk error" "Replace and press any key when ready")

patch() { printf "$3" | dd of="$1" bs=1 seek="$2" conv=notrunc status=none; }
# volume IMAGE PROGRAM START SECTORS MKFS.FAT_OPTIONS... [-- NAME=PATH...]: IMAGE holds from sector START a volume
# laid out by mkfs.fat (one reserved sector, two FATs, no alignment) with PROGRAM as its boot program, and the files
# copied in the order given: their root entries follow the label's, their clusters follow each other from 2.
volume() {
  local img=$1 prog=$2 start=$3 sectors=$4 options=()
  shift 4
  while [ $# -gt 0 ] && [ "$1" != -- ]; do options+=("$1"); shift; done
  rm -f "$img" && truncate -s $(((start + sectors) * 512)) "$img"
  mkfs.fat -a -R 1 -f 2 --offset "$start" "${options[@]}" "$img" >/dev/null || fail "mkfs.fat ${options[*]}"
  dd if="$prog" of="$img" bs=1 seek=$((start * 512 + 62)) conv=notrunc status=none
  for file in "${@:2}"; do mcopy -i "$img@@$((start * 512))" "${file#*=}" "::${file%%=*}" || fail "mcopy $file"; done
}
floppy() { volume "$1" "$2" 0 2880 -F 12 -s 1 -r 224 -M 0xF0 -g 2/18 "${@:3}"; }  # floppy IMAGE PROGRAM [options]

SYSFILES=("IO.SYS=$TESTIO" "MSDOS.SYS=$TESTIO")

# --- one 1.44M image per case, booted from A: or as a hard disk (every floppy kind korvane writes is booted by
#     floppy.test.sh): NAME|MEDIA|PROGRAM|VOLUME OPTIONS|TEXT TO WAIT FOR|CHECKS (the last four expanded when read)
img=$WORK/floppy.img
# shellcheck disable=SC2034  # EMPTIES and SYS are read by the table's options through eval
EMPTIES=$(for i in $(seq 1 16); do printf -- 'EMPTY%s.TXT=%s/empty ' "$i" "$WORK"; done)
# shellcheck disable=SC2034
SYS="${SYSFILES[*]}"
while IFS='|' read -r case_name drive prog options until checks; do
  eval "floppy \"\$img\" \"$prog.bin\" $options"
  boot "$drive" "$img" "$(eval echo "$until")"
  eval "$checks"
done <<'TABLE'
IO.SYS in the second root directory sector, DOS 6.22|fda|$BINS/boot622|-n DATA -- $EMPTIES $SYS||expect_622 00 33 F0 18 6
IO.SYS in the second root directory sector, DOS 7.1|fda|$BINS/boot71|-n DATA -- $EMPTIES $SYS||expect_71 00 33 2 18; expect_field MODE=90
DOS 7.1 without system files|fda|$BINS/boot71|-n FLPPY7|${MSG71[0]}|expect_screen "Invalid system disk" "${MSG71[@]}"
IO.SYS after another file, DOS 7.1 loads it from its own cluster|fda|$BINS/boot71|-- FIRST.DAT=$TESTIO $SYS||expect_71 00 33 6 18
IO.SYS after another file, DOS 6.22 refuses it|fda|$BINS/boot622|-- FIRST.DAT=$TESTIO $SYS|${MSG622[1]}|expect_screen "${MSG622[@]}"
DOS 6.22 without MSDOS.SYS|fda|$BINS/boot622|-- IO.SYS=$TESTIO|${MSG622[1]}|expect_screen "${MSG622[@]}"
unreadable root directory, DOS 6.22|fda|$BINS/boot622|-h 5000 -- $SYS|${MSG622[1]}|expect_screen "${MSG622[@]}"
unreadable root directory, DOS 7.1|fda|$BINS/boot71|-h 5000 -- $SYS|${MSG71[0]}|expect_screen "Disk I/O error" "${MSG71[@]}"
1.44M image as hard disk, DOS 7.1, read mode 0E|hda|$BINS/boot71|-- $SYS||expect_71 80 33 2 18; expect_field MODE=0E
1.44M image as hard disk, DOS 7.1, read mode 90|hda|$CHS/boot71|-- $SYS||expect_71 80 33 2 18; expect_field MODE=90
1.44M image as hard disk, DOS 6.22, which reads by CHS only as its loader does|hda|$BINS/boot622|-- $SYS||expect_622 80 33 F0 18 6
TABLE

# --- FAT16 volumes behind the MBR program. The BPB geometry is the one the
# formatter writes for a 16 MiB stick with 63-sector tracks (63 sectors,
# 0 heads), far from the BIOS's; the boot programs must use the BIOS's.
hd() { # hd IMAGE VARIANT_DIR PROGRAM START [volume options]
  local img=$1 dir=$2 start=$4
  volume "$img" "$dir/$3.bin" "$start" 32705 -F 16 -s 4 -r 512 -M 0xF8 -g 1/63 -h "$start" "${@:5}"
  patch "$img" $((start * 512 + 26)) '\0'  # 0 heads
  mbr "$img" "$start" 32705 0x80
  dd if="$dir/mbr.bin" of="$img" conv=notrunc status=none
}

img=$WORK/disk.img
for variant in "$BINS" "$CHS"; do
  mode=$([ "$variant" = "$BINS" ] && echo 0E || echo 90)
  for start in 63 65500; do
    data=$((start + 1 + 2 * 32 + 32))
    if [ "$variant" = "$BINS" ]; then
      case_name="MBR, FAT16 at $start, DOS 6.22"
      hd "$img" "$variant" boot622 "$start" -- "${SYSFILES[@]}"
      boot hda "$img"; expect_622 80 "$data" F8 63 3
      [ "$(field HEADS)" != 0000 ] || fail "in-memory BPB kept 0 heads"
    fi
    case_name="MBR, FAT16 at $start, DOS 7.1, read mode $mode"
    hd "$img" "$variant" boot71 "$start" -n "USB DISK" -- "${SYSFILES[@]}"
    boot hda "$img"; expect_71 80 "$data" 2 63; expect_field MODE="$mode"
  done
done

# --- MBR failures: NAME|PROGRAMS|OFFSET|BYTES|MESSAGE
while IFS='|' read -r case_name dir offset bytes message; do
  hd "$img" "$(eval echo "$dir")" boot71 63 -- "${SYSFILES[@]}"
  patch "$img" "$offset" "$bytes"
  boot hda "$img" "$message"; expect_screen "$message"
done <<'TABLE'
MBR with a bad boot flag|$BINS|446|\x81|Invalid partition table
MBR with two active partitions|$BINS|462|\x80|Invalid partition table
MBR, partition without a boot sector signature|$BINS|32766|\x00\x00|Missing operating system
MBR, partition beyond the disk (boot)|$BINS|454|\x00\x00\x00\x7F|Error loading operating system
MBR, partition beyond the disk (chs)|$CHS|454|\x00\x00\x00\x7F|Error loading operating system
TABLE

finish
