#!/bin/bash
# Real DOS boots from the disks korvane writes, when KORVANE_DOS_FILES names a directory holding IO.SYS, MSDOS.SYS
# and COMMAND.COM of the DOS 3.3 to 6.22 family (or the same as OS6A, OS6B, OS6C); skipped otherwise. Each disk is
# booted under QEMU to the DOS prompt (answering the date and time questions DOS asks without an AUTOEXEC.BAT), DIR
# is typed there and must list COMMAND.COM. The disks: every floppy kind, labelled and not; floppy blocks where they
# lie in a 100-block disk and exported; FAT12 and FAT16 volumes behind the MBR, read through the INT 13h extensions
# and, with the MBR program built for CHS only, by CHS.
. "$(dirname "$0")/lib.sh"
: "${KORVANE:?}" "${BUILD_DIR:?}" "${SRC_DIR:?}"
[ -n "${KORVANE_DOS_FILES:-}" ] || { echo "KORVANE_DOS_FILES not set: no real DOS to boot"; exit 77; }
need qemu-system-i386
QEMU_BOOT=$ORACLE/qemu_boot.sh
CHS_MBR=$BUILD_DIR/boot/chs/mbr.bin
[ -f "$CHS_MBR" ] || { echo "missing $CHS_MBR (build first)"; exit 1; }

# The program's SysFile names for DOS 6.22, from either naming.
SYS=$WORK/SysFile
mkdir "$SYS"
for pair in OS6A:IO.SYS OS6B:MSDOS.SYS OS6C:COMMAND.COM; do
  ours=${pair%%:*} dos=${pair#*:}
  cp "$KORVANE_DOS_FILES/$ours" "$SYS/" 2>/dev/null || cp "$KORVANE_DOS_FILES/$dos" "$SYS/$ours" 2>/dev/null ||
    { echo "$KORVANE_DOS_FILES holds neither $ours nor $dos"; exit 1; }
done

# dos_prompt MEDIA IMAGE [qemu_boot.sh options]: DOS comes up and runs DIR.
dos_prompt() {
  local out
  out=$("$QEMU_BOOT" -t 90 "${@:3}" -k 'Enter new date=\n' -k 'Enter new time=\n' -k '>=dir\n' -u 'bytes free' \
    "$1" "$2" 2>&1)
  if [ $? -ne 0 ] || ! grep -q '^COMMAND  *COM' <<<"$out"; then
    fail "no DOS prompt with a DIR listing"
    printf '%s\n' "$out"
  fi
}

for kind in 720K 1.2M 1.44M; do
  for label in "" DOSDISK; do
    case_name="$kind floppy${label:+ labelled}"
    rm -f "$WORK/floppy.img"
    run 0 floppy "$WORK/floppy.img" --kind "$kind" ${label:+--label "$label"} --dos 6.22 --sysfiles "$SYS" --yes &&
      dos_prompt fda "$WORK/floppy.img"
  done
done

# Floppy blocks: each has the identifier FLPPYn as its first root entry, ahead of IO.SYS and MSDOS.SYS.
blocks=$WORK/blocks.img
truncate -s $((100 * 3072 * 512)) "$blocks"
if run 0 blocks format "$blocks" --count 100 --dos 6.22 --sysfiles "$SYS" --yes; then
  for n in 0 99; do
    case_name="1.44M block $n in place"
    dos_prompt fda "$blocks" -r $((n * 3072)):2880
  done
  case_name="1.44M block 42 exported"
  run 0 blocks export "$blocks" 42 "$WORK/block.img" --yes && dos_prompt fda "$WORK/block.img"
fi
case_name="720K block 3 in place"
truncate -s 0 "$blocks"
truncate -s $((4 * 2048 * 512)) "$blocks"
run 0 blocks format "$blocks" --count 4 --kind 720K --dos 6.22 --sysfiles "$SYS" --yes &&
  dos_prompt fda "$blocks" -r $((3 * 2048)):1440

# Volumes behind the MBR: 8 MiB in 4 KiB clusters is FAT12, 20 MiB in the default clusters FAT16.
for volume in "8 --cluster 4096 --boot hdd --mbr 63" "20 --boot hdd --mbr 63" "20 --boot zip --mbr 32"; do
  read -r mib options <<<"$volume"
  disk=$WORK/disk.img
  truncate -s 0 "$disk"
  truncate -s "${mib}M" "$disk"
  # shellcheck disable=SC2086
  run 0 format "$disk" $options --dos 6.22 --sysfiles "$SYS" --yes || continue
  case_name="$mib MiB volume, $options"
  dos_prompt hda "$disk"
  case_name="$mib MiB volume, $options, MBR reading by CHS"
  dd if="$CHS_MBR" of="$disk" bs=445 count=1 conv=notrunc status=none
  dos_prompt hda "$disk"
done

finish
