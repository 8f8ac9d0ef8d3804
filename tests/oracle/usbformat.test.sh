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

# A volume behind an MBR: checked as the partition the MBR describes.
case_name="HDD boot layout"
img=$WORK/hdd.img
sysfiles "$WORK/sys"
truncate -s $((40960 * 512)) "$img"
run 0 format "$img" --cluster 512 --dos 6.22 --sysfiles "$WORK/sys" --boot hdd --mbr 63
dd if="$img" of="$WORK/part.img" bs=512 skip=63 status=none
fsck_clean "$WORK/part.img"
roundtrip "$WORK/part.img"

# QEMU boots it: BIOS, the MBR program, the DOS 6.22 boot program, the test IO.SYS; and a DOS 7.1 FAT12 volume
# behind a ZIP layout's MBR, read through the INT 13h extensions QEMU's BIOS offers.
case_name="QEMU boots the HDD layout"
if ! command -v qemu-system-i386 >/dev/null; then
  echo "qemu-system-i386 missing: boot not checked"
else
  boot_testio hda "$img" $((63 * 512)) 622

  case_name="QEMU boots a DOS 7.1 FAT12 ZIP layout"
  zip=$WORK/zip.img
  truncate -s $((16384 * 512)) "$zip"
  if run 0 format "$zip" --cluster 4096 --dos 7.1 --sysfiles "$WORK/sys" --boot zip --mbr 32; then
    boot_testio hda "$zip" $((32 * 512)) 71
    expect_field MODE=0E
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
print(65536, 4096, 1, 512, "--label DISK1")
print(16384, 1024, 2, 5, "--label data --fill E5")
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
while read -r sectors unit fats root options; do
  case_name="sweep $sectors sectors, $unit-byte clusters, $fats FATs, $root root entries $options"
  img=$WORK/sweep/$sectors-$unit-$fats-$root.img
  truncate -s $((sectors * 512)) "$img"
  # shellcheck disable=SC2086
  out=$("$KORVANE" format "$img" --cluster "$unit" --fats "$fats" --root "$root" $options 2>&1)
  if [ $? -ne 0 ]; then
    # Only a volume FAT16 cannot hold, or one without room for a cluster, may be refused.
    grep -qE "FAT16 cannot hold|too large for FAT16|no room|leave no" <<<"$out" || fail "korvane format: $out"
    rm -f "$img"
    continue
  fi
  bits=$(sed -nE 's/.*: FAT(12|16), .*/\1/p' <<<"$out")
  [ -z "$options" ] || fsck_clean "$img"  # a label entry padded with zero bytes is all fsck.fat may find
  if ! fsck=$(fsck.fat -n -v "$img" 2>&1) && [ -z "$options" ]; then
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
    same_as_mtools "$img" FATFS.BIN "$WORK/fatfs.bin"
    fsck_clean "$img" "FatFs wrote"
  done < <(node "$ORACLE/fatfs_check.mjs" "$JS_FATFS" "$WORK/in.bin" "$WORK/fatfs.bin" "${images[@]}")
  case_name="sweep read by FatFs"
  [ "$read_by_fatfs" = ${#images[@]} ] || fail "FatFs read $read_by_fatfs of ${#images[@]} volumes"
fi

finish
