#!/bin/bash
# Boots the embedded boot programs under QEMU: the three floppy kinds with
# both DBR programs, hard-disk volumes behind the MBR program, and the
# messages each program shows when it cannot boot. The stand-in IO.SYS
# (testio.sys) reports on COM1 the registers it was started with.
. "$(dirname "$0")/lib.sh"
: "${BUILD_DIR:?}" "${SRC_DIR:?}"
need qemu-system-i386 python3
# The interpreter itself, not a version-manager shim: it runs ~100 times.
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

floppy() { # floppy IMAGE PROGRAM [mkfat options]: a 1.44M floppy
  "$PYTHON" "$ORACLE/mkfat.py" "$1" --boot "$2" --total 2880 --spc 1 --root 224 --media F0 --spf 9 --spt 18 \
    --heads 2 "${@:3}" || fail "mkfat failed"
}

SYSFILES=(--file "IO.SYS=$TESTIO" --file "MSDOS.SYS=$TESTIO")

# --- one 1.44M image per case, booted from A: or as a hard disk (every floppy kind korvane writes is booted by
#     floppy.test.sh): NAME|MEDIA|PROGRAM|MKFAT OPTIONS|TEXT TO WAIT FOR|CHECKS (the last four expanded when read)
img=$WORK/floppy.img
# shellcheck disable=SC2034  # EMPTIES and SYS are read by the table's options through eval
EMPTIES=$(for i in $(seq 1 16); do printf -- '--file EMPTY%s.TXT=%s/empty ' "$i" "$WORK"; done)
# shellcheck disable=SC2034
SYS="${SYSFILES[*]}"
while IFS='|' read -r case_name drive prog options until checks; do
  eval "floppy \"\$img\" \"$prog.bin\" $options"
  boot "$drive" "$img" "$(eval echo "$until")"
  eval "$checks"
done <<'TABLE'
IO.SYS in the second root directory sector, DOS 6.22|fda|$BINS/boot622|--label DATA $EMPTIES $SYS||expect_622 00 33 F0 18 6
IO.SYS in the second root directory sector, DOS 7.1|fda|$BINS/boot71|--label DATA $EMPTIES $SYS||expect_71 00 33 2 18; expect_field MODE=90
DOS 7.1 without system files|fda|$BINS/boot71|--label FLPPY7|${MSG71[0]}|expect_screen "Invalid system disk" "${MSG71[@]}"
IO.SYS after another file, DOS 7.1 loads it from its own cluster|fda|$BINS/boot71|--file FIRST.DAT=$TESTIO $SYS||expect_71 00 33 6 18
IO.SYS after another file, DOS 6.22 refuses it|fda|$BINS/boot622|--file FIRST.DAT=$TESTIO $SYS|${MSG622[1]}|expect_screen "${MSG622[@]}"
DOS 6.22 without MSDOS.SYS|fda|$BINS/boot622|--file IO.SYS=$TESTIO|${MSG622[1]}|expect_screen "${MSG622[@]}"
unreadable root directory, DOS 6.22|fda|$BINS/boot622|--hidden 5000 $SYS|${MSG622[1]}|expect_screen "${MSG622[@]}"
unreadable root directory, DOS 7.1|fda|$BINS/boot71|--hidden 5000 $SYS|${MSG71[0]}|expect_screen "Disk I/O error" "${MSG71[@]}"
1.44M image as hard disk, DOS 7.1, read mode 0E|hda|$BINS/boot71|$SYS||expect_71 80 33 2 18; expect_field MODE=0E
1.44M image as hard disk, DOS 7.1, read mode 90|hda|$CHS/boot71|$SYS||expect_71 80 33 2 18; expect_field MODE=90
1.44M image as hard disk, DOS 6.22, which reads by CHS only as its loader does|hda|$BINS/boot622|$SYS||expect_622 80 33 F0 18 6
TABLE

# --- FAT16 volumes behind the MBR program. The BPB geometry is the one the
# formatter writes for a 16 MiB stick with 63-sector tracks (63 sectors,
# 0 heads), far from the BIOS's; the boot programs must use the BIOS's.
hd() { # hd IMAGE VARIANT_DIR PROGRAM START [mkfat options]
  local img=$1 dir=$2 prog=$3 start=$4
  shift 4
  "$PYTHON" "$ORACLE/mkfat.py" "$img" --boot "$dir/$prog.bin" --mbr "$dir/mbr.bin" \
    --disk-sectors $((start + 32705)) --hidden "$start" --total 32705 --spc 4 --root 512 \
    --media F8 --spf 32 --spt 63 --heads 0 "$@" || fail "mkfat failed"
}

img=$WORK/disk.img
for variant in "$BINS" "$CHS"; do
  mode=$([ "$variant" = "$BINS" ] && echo 0E || echo 90)
  for start in 63 65500; do
    data=$((start + 1 + 2 * 32 + 32))
    if [ "$variant" = "$BINS" ]; then
      case_name="MBR, FAT16 at $start, DOS 6.22"
      hd "$img" "$variant" boot622 "$start" "${SYSFILES[@]}"
      boot hda "$img"; expect_622 80 "$data" F8 63 3
      [ "$(field HEADS)" != 0000 ] || fail "in-memory BPB kept 0 heads"
    fi
    case_name="MBR, FAT16 at $start, DOS 7.1, read mode $mode"
    hd "$img" "$variant" boot71 "$start" --label "USB DISK" "${SYSFILES[@]}"
    boot hda "$img"; expect_71 80 "$data" 2 63; expect_field MODE="$mode"
  done
done

# --- MBR failures: NAME|PROGRAMS|OFFSET|BYTES|MESSAGE
patch() { printf "$3" | dd of="$1" bs=1 seek="$2" conv=notrunc status=none; }
while IFS='|' read -r case_name dir offset bytes message; do
  hd "$img" "$(eval echo "$dir")" boot71 63 "${SYSFILES[@]}"
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
