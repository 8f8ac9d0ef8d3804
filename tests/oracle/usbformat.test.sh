#!/bin/bash
# Volumes written by `korvane format`, checked by tools nobody here wrote: fsck.fat accepts them, mtools stores a
# file on each and reads it back unchanged, FatFs (js-fatfs under node) reads a sweep of them as fsck.fat and mtools
# do, and QEMU boots a bootable one behind its MBR to the test IO.SYS.
# fsck.fat may only complain about the volume label: this format pads the root directory's label entry with zero
# bytes, which fsck.fat takes for invalid characters.
. "$(dirname "$0")/lib.sh"
: "${KORVANE:?}" "${BUILD_DIR:?}" "${SRC_DIR:?}"
need fsck.fat mcopy
# shellcheck source=testio_checks.sh
. "$ORACLE/testio_checks.sh"

# check SECTORS FATBITS ARGS...: formats a fresh image and checks it with both tools.
check() {
  case_name="$1 sectors ${*:3}"
  rm -f disk.img && truncate -s $(($1 * 512)) disk.img
  out=$(K format disk.img "${@:3}" 2>&1) || { fail "korvane format: $out"; return; }
  grep -q "FAT$2," <<<"$out" || fail "expected FAT$2: $out"
  fsck_clean disk.img
  roundtrip disk.img
}

check 2880 12
check 2880 12 --fats 1 --label data
check 4133 12 --cluster 512              # 4,084 clusters by the published rule: 4,078, the most written as FAT12
check 4134 12 --cluster 512              # 4,085 clusters, FAT16 to Microsoft, FAT12 to FatFs: 4,078 as well
check 4147 16 --cluster 512              # 4,096 clusters, the fewest written as FAT16
check 66053 16 --cluster 512             # 65,524 clusters, the most FAT16 has: 65,518
check 40960 16 --cluster 512 --root 512
check 65536 16
check 65536 16 --fats 1 --cluster 4096 --label DISK1
check 16384 16 --cluster 1024 --fill E5 --root 5
check 524288 16 --cluster 32768
check 262144 12 --cluster 65536 --fats 1

# A volume behind an MBR: checked as the partition the MBR describes.
case_name="HDD boot layout"
img=$WORK/hdd.img
sysfiles "$WORK/sys"
rm -f "$img"
truncate -s $((40960 * 512)) "$img"
out=$("$KORVANE" format "$img" --cluster 512 --dos 6.22 --sysfiles "$WORK/sys" --boot hdd --mbr 63 2>&1) ||
  fail "korvane format: $out"
[ "$(hex_at "$img" 454 4)" = 3f000000 ] || fail "the partition starts at $(hex_at "$img" 454 4) (hex, little-endian)"
# 40,960 sectors are fewer than 1024 tracks of 63: a bootable disk still gets 2 heads (not 0), in the BPB and in
# the partition's CHS end (head 1, sector 63, cylinder 40960 / 126 rounded up, less 1 = 325 = 145h).
[ "$(hex_at "$img" $((63 * 512 + 26)) 2)" = 0200 ] || fail "the BPB's heads are $(hex_at "$img" $((63 * 512 + 26)) 2)"
[ "$(hex_at "$img" 451 3)" = 017f45 ] || fail "the partition ends at CHS bytes $(hex_at "$img" 451 3)"
dd if="$img" of="$WORK/part.img" bs=512 skip=63 status=none
fsck_clean "$WORK/part.img"
mdir -i "$WORK/part.img" ::/IO.SYS >/dev/null || fail "IO.SYS is not on the volume"
roundtrip "$WORK/part.img"

# QEMU boots it: BIOS, the MBR program, the DOS 6.22 boot program, the test IO.SYS; and a DOS 7.1 FAT12 volume
# behind a ZIP layout's MBR, read through the INT 13h extensions QEMU's BIOS offers.
case_name="QEMU boots the HDD layout"
if ! command -v qemu-system-i386 >/dev/null; then
  echo "qemu-system-i386 missing: boot not checked"
else
  out=$("$ORACLE/qemu_boot.sh" -t 20 -u KORVANE-TESTIO hda "$img" 2>&1)
  line=$(testio_report "$out")
  # The data area starts at 63 + 1 + 2 x 159 + 16 = 398 = 18Eh, the sector DOS 6.22 hands IO.SYS in BX.
  expect_field BX 018E
  expect_from_bpb "$img" $((63 * 512)) 80 622

  case_name="QEMU boots a DOS 7.1 FAT12 ZIP layout"
  zip=$WORK/zip.img
  truncate -s $((16384 * 512)) "$zip"
  if "$KORVANE" format "$zip" --cluster 4096 --dos 7.1 --sysfiles "$WORK/sys" --boot zip --mbr 32 >"$WORK/out" 2>&1
  then
    out=$("$ORACLE/qemu_boot.sh" -t 20 -u KORVANE-TESTIO hda "$zip" 2>&1)
    line=$(testio_report "$out")
    expect_from_bpb "$zip" $((32 * 512)) 80 71
    expect_field MODE 0E
  else
    fail "korvane format: $(cat "$WORK/out")"
  fi
fi

# The sweep: volumes of many sizes and choices, each read by fsck.fat, mtools and FatFs, which must all see the
# FAT type korvane wrote and the same cluster count, find a FAT with an entry for every cluster, and keep files
# that another of them wrote. The sizes: every power of two from 1 MiB to 2 GiB with every cluster size, 512 MiB
# (large clusters) and 16 MiB (512-byte clusters) with every FAT and root choice, and, for every cluster size, the
# sizes to which the published FAT sizing rule gives 4,084, 4,085, 4,086 or 65,524 clusters.
sweep_cases() {
  python3 - <<'PY'
def rule_clusters(total, spc, fats, root):
    rest = total - 1 - (root * 32 + 511) // 512
    per_fat = (rest + 256 * spc + fats - 1) // (256 * spc + fats)
    return (rest - fats * per_fat) // spc
cases = set()
for e in range(11, 23):
    for k in range(8):
        for fats, root in ((2, 512), (1, 16)):
            cases.add((1 << e, 512 << k, fats, root))
for fats in (1, 2):
    for root in (16, 64, 224, 256, 512):
        for unit in (32768, 65536):
            cases.add((1 << 20, unit, fats, root))
        cases.add((1 << 15, 512, fats, root))
for k in range(8):
    spc = 1 << k
    for fats, root in ((1, 16), (2, 256), (2, 512)):
        for target in (4084, 4085, 4086, 65524):
            guess = 1 + (root * 32 + 511) // 512 + target * spc + fats * (target // 256 + 1)
            for total in range(guess - 2 * spc - 4 * fats, guess + 2 * spc + 4 * fats):
                if total <= 1 << 22 and rule_clusters(total, spc, fats, root) == target:
                    cases.add((total, 512 * spc, fats, root))
                    break
for case in sorted(cases):
    print(*case)
PY
}

JS_FATFS=${KORVANE_JS_FATFS:-/opt/korvane-oracle/node_modules/js-fatfs}
if ! command -v node >/dev/null || [ ! -f "$JS_FATFS/dist/fatfs.js" ]; then
  echo "node or js-fatfs missing (scripts/setup.sh installs them): FatFs does not read the sweep"
  JS_FATFS=
fi
mkdir -p "$WORK/sweep"
head -c 70000 /dev/urandom >"$WORK/in.bin"
head -c 5000 /dev/urandom >"$WORK/fatfs.bin"
declare -A kind count
images=()
while read -r sectors unit fats root; do
  case_name="sweep $sectors sectors, $unit-byte clusters, $fats FATs, $root root entries"
  img=$WORK/sweep/$sectors-$unit-$fats-$root.img
  truncate -s $((sectors * 512)) "$img"
  out=$("$KORVANE" format "$img" --cluster "$unit" --fats "$fats" --root "$root" 2>&1)
  if [ $? -ne 0 ]; then
    # Only a volume FAT16 cannot hold, or one without room for a cluster, may be refused.
    grep -qE "FAT16 cannot hold|too large for FAT16|no room|leave no" <<<"$out" || fail "korvane format: $out"
    rm -f "$img"
    continue
  fi
  bits=$(sed -nE 's/.*: FAT(12|16), .*/\1/p' <<<"$out")
  if ! fsck=$(fsck.fat -n -v "$img" 2>&1); then
    fail "fsck.fat: $(grep -vE '^(fsck\.fat |Checking )' <<<"$fsck" | head -2)"
    continue
  fi
  fsck_bits=$(sed -nE 's/.* FATs?, ([0-9]+) bit entries$/\1/p' <<<"$fsck")
  clusters=$(sed -nE 's/^ *([0-9]+) data clusters .*/\1/p' <<<"$fsck")
  [ "$fsck_bits" = "$bits" ] || fail "korvane wrote FAT$bits, fsck.fat reads $fsck_bits-bit entries"
  per_fat=$(minfo -i "$img" :: | sed -nE 's/^sectors per fat: ([0-9]+)$/\1/p')
  [ $((per_fat * 512 * 8 / bits)) -ge $((clusters + 2)) ] ||
    fail "$per_fat sectors per FAT hold fewer than $clusters clusters and the 2 reserved entries"
  mcopy -i "$img" "$WORK/in.bin" ::/IN.BIN || { fail "mcopy onto the volume failed"; continue; }
  free=$(mdir -i "$img" :: | sed -nE 's/^ +([0-9 ]+) bytes free$/\1/p' | tr -d ' ')
  mtools_clusters=$((free / unit + (70000 + unit - 1) / unit))
  [ "$mtools_clusters" = "$clusters" ] || fail "fsck.fat counts $clusters clusters, mtools $mtools_clusters"
  kind[$img]=$bits
  count[$img]=$clusters
  images+=("$img")
done < <(sweep_cases)
echo "sweep: ${#images[@]} volumes written"
[ ${#images[@]} -gt 200 ] || fail "the sweep wrote only ${#images[@]} volumes"
if [ -n "$JS_FATFS" ]; then
  read_by_fatfs=0
  while read -r img type clusters result; do
    read_by_fatfs=$((read_by_fatfs + 1))
    case_name="sweep $(basename "$img" .img) read by FatFs"
    [ "$type" = "FAT${kind[$img]}" ] || fail "FatFs reads $type, korvane wrote FAT${kind[$img]}"
    [ "$clusters" = "${count[$img]}" ] || fail "FatFs counts $clusters clusters, fsck.fat ${count[$img]}"
    [ "$result" = ok ] || { fail "FatFs: $result"; continue; }
    rm -f "$WORK/out.bin"
    mcopy -n -i "$img" ::/FATFS.BIN "$WORK/out.bin" && cmp -s "$WORK/out.bin" "$WORK/fatfs.bin" ||
      fail "the file FatFs wrote does not read back with mtools"
    fsck=$(fsck.fat -n "$img" 2>&1) || fail "fsck.fat after FatFs wrote: $fsck"
  done < <(node "$ORACLE/fatfs_check.mjs" "$JS_FATFS" "$WORK/in.bin" "$WORK/fatfs.bin" "${images[@]}")
  case_name="sweep read by FatFs"
  [ "$read_by_fatfs" = ${#images[@]} ] || fail "FatFs read $read_by_fatfs of ${#images[@]} volumes"
fi
rm -rf "$WORK/sweep"

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

finish
