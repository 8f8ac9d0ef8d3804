#!/bin/bash
# Files put into floppy blocks and floppy volumes by `korvane blocks put|get|rm|mkdir|rmdir` and `korvane files`,
# checked by fsck.fat and mtools after every change: what korvane wrote is what mtools reads, what mtools wrote is
# what korvane reads, refusals change no byte, and a block's neighbours never change.
. "$(dirname "$0")/lib.sh"
: "${KORVANE:?}"
need fsck.fat mkfs.fat mdir mcopy mformat cmp python3

# ---------------------------------------------------------------------------------------------------------------
case_name="block 50 of a 100-block disk"
truncate -s 160M disk.img
K blocks format disk.img --count 100 >/dev/null || fail "format"
head -c 70000 /dev/urandom >design.dst
head -c 513 /dev/urandom >prog.bin
: >empty.dat
cp disk.img before.img
block() { cut disk.img $((50 * 3072)) 2880 b50.img; }
K blocks put disk.img 50 design.dst prog.bin empty.dat >/dev/null || fail "put"
K blocks mkdir disk.img 50 work >/dev/null || fail "mkdir"
K blocks put disk.img 50 prog.bin --to work --as job1.bin >/dev/null || fail "put --to --as"
block
fsck_clean b50.img "put and mkdir"
same_as_mtools b50.img DESIGN.DST design.dst PROG.BIN prog.bin EMPTY.DAT empty.dat WORK/JOB1.BIN prog.bin
mdir -i b50.img ::/ | grep -q '^WORK  *<DIR>' || fail "mtools sees no WORK folder"
# What mtools writes, korvane reads: a file with a long name (mtools adds long-name entries) and a folder.
mcopy -i b50.img prog.bin "::A rather long name.bin" && mmd -i b50.img ::MTDIR && mcopy -i b50.img design.dst ::MTDIR/
dd if=b50.img of=disk.img bs=512 seek=$((50 * 3072)) conv=notrunc status=none
listing=$(K blocks ls disk.img 50)
grep -q '^ARATHE~1.BIN  *513 ' <<<"$listing" || fail "korvane does not list mtools' short name: $listing"
mkdir -p out
K blocks get disk.img 50 MTDIR/DESIGN.DST design.dst --to out >/dev/null || fail "get"
cmp -s out/DESIGN.DST design.dst && cmp -s out/design.dst design.dst || fail "get gives other bytes"
K blocks get disk.img 50 design.dst --to out >/dev/null 2>&1 && fail "get overwrote a file without --force"
K blocks get disk.img 50 empty.dat --to out >/dev/null && [ -f out/empty.dat ] && [ ! -s out/empty.dat ] ||
  fail "get of an empty file"
# Deleting the long-named file deletes its long-name entries too: fsck.fat finds no orphans.
K blocks rm disk.img 50 ARATHE~1.BIN prog.bin >/dev/null || fail "rm"
K blocks rm disk.img 50 MTDIR/DESIGN.DST >/dev/null && K blocks rmdir disk.img 50 mtdir >/dev/null || fail "rmdir"
block
fsck_clean b50.img "rm and rmdir"
mdir -i b50.img ::/ 2>/dev/null | grep -q -e PROG -e MTDIR -e 'rather' && fail "mtools still sees deleted entries"
same_as_mtools b50.img DESIGN.DST design.dst
# Only block 50's image changed: everything before and after it is byte for byte as it was.
cmp -s -n $((50 * 3072 * 512)) disk.img before.img && cmp -s -i $(((50 * 3072 + 2880) * 512)) disk.img before.img ||
  fail "bytes outside block 50 changed"

# ---------------------------------------------------------------------------------------------------------------
case_name="refusals change nothing"
keep disk.img
# The name, taken-name and folder refusals are the core's (FatFilesNames, RefusalsWriteNothing); here the command
# refuses them with a message and leaves the disk as it was.
cp prog.bin "long name.txt"
runs 1 "is not a DOS 8.3 name" blocks put disk.img 50 "long name.txt"
runs 2 "--as names one file" blocks put disk.img 50 prog.bin design.dst --as x.bin
runs 1 '"WORK" is not empty' blocks rmdir disk.img 50 work
runs 2 "a block number from 0 to 99" blocks put disk.img 100 prog.bin
unchanged disk.img
K blocks put disk.img 50 "long name.txt" --as long.txt >/dev/null || fail "--as did not store the long-named file"
head -c 1000 /dev/urandom >design.dst
K blocks put disk.img 50 design.dst --replace >/dev/null || fail "--replace"
block
fsck_clean b50.img "replace"
same_as_mtools b50.img DESIGN.DST design.dst LONG.TXT prog.bin

# ---------------------------------------------------------------------------------------------------------------
case_name="a full floppy"
# Block 3 is empty: 2847 clusters of 512 bytes; a file of exactly that fills it.
head -c $((2847 * 512)) /dev/urandom >exact.bin
K blocks put disk.img 3 exact.bin >/dev/null || fail "a file of exactly the free space was refused"
: >nothing.txt
K blocks put disk.img 3 nothing.txt >/dev/null || fail "an empty file needs no cluster"
keep disk.img
runs 1 'Not enough room for "PROG.BIN"' blocks put disk.img 3 prog.bin
# Said once, on one line: no developer trace, no second "nothing was written".
[ "$out" = "${out%%$'\n'*}" ] && expect_text "are free. Nothing was written." || fail "more than one line: $out"
runs 1 'Not enough room for "MORE"' blocks mkdir disk.img 3 more
unchanged disk.img
cut disk.img $((3 * 3072)) 2880 b3.img
fsck_clean b3.img "filling the floppy"
same_as_mtools b3.img EXACT.BIN exact.bin

# ---------------------------------------------------------------------------------------------------------------
case_name="a full root folder, and a folder that grows"
K blocks put disk.img 4 prog.bin >/dev/null  # block 4 holds its label and one file
names=()
for ((i = 0; i < 222; i++)); do : >"f$i.txt"; names+=("f$i.txt"); done
K blocks put disk.img 4 "${names[@]}" >/dev/null || fail "222 more entries in a root folder of 224 were refused"
runs 1 'root folder is full' blocks put disk.img 4 design.dst
K blocks rm disk.img 4 f0.txt f1.txt >/dev/null || fail "rm of two empty files"
K blocks mkdir disk.img 4 many >/dev/null || fail "mkdir in a root folder with room again"
K blocks put disk.img 4 "${names[@]:2:40}" --to many >/dev/null || fail "40 files into a folder of one cluster"
cut disk.img $((4 * 3072)) 2880 b4.img
fsck_clean b4.img "a full root folder"
[ "$(mdir -b -i b4.img ::/MANY | wc -l)" = 40 ] || fail "mtools does not see 40 files in MANY"

# ---------------------------------------------------------------------------------------------------------------
case_name="korvane files: a floppy image, a FAT16 volume and a partitioned disk"
mformat -C -f 1440 -i plain.img ::
K files put plain.img design.dst prog.bin >/dev/null || fail "files put on a floppy image"
fsck_clean plain.img "files put"
same_as_mtools plain.img PROG.BIN prog.bin
K files ls plain.img | grep -q '^DESIGN.DST  *1000 ' || fail "files ls"
mkfs.fat -C -F 16 fat16.img 32768 >/dev/null
head -c 3000000 /dev/urandom >large.bin
K files mkdir fat16.img data >/dev/null && K files put fat16.img large.bin --to data >/dev/null || fail "FAT16 put"
fsck_clean fat16.img "FAT16 put"
same_as_mtools fat16.img DATA/LARGE.BIN large.bin
K files rm fat16.img data/large.bin >/dev/null && K files rmdir fat16.img data >/dev/null || fail "FAT16 rm"
fsck_clean fat16.img "FAT16 rm"
[ -z "$(mdir -b -i fat16.img ::/ 2>/dev/null)" ] || fail "the FAT16 volume is not empty again"
# A disk with a partition table: the volume of its first partition, at sector 2048.
rm -f parted.img && truncate -s 40M parted.img
mbr parted.img 2048 65536
mkfs.fat -F 16 --offset 2048 parted.img 32768 >/dev/null 2>&1
K files put parted.img prog.bin >/dev/null || fail "put into a partition"
cut parted.img 2048 65536 vol.img
fsck_clean vol.img "put into a partition"
same_as_mtools vol.img PROG.BIN prog.bin

# ---------------------------------------------------------------------------------------------------------------
case_name="damaged folders and files are refused, never followed"
# One folder entry that names a cluster past the volume (the core's test tries 0, 1 and 65535 as well): every
# command through it fails with the folder named, and the image does not change.
cp plain.img bad.img
K files mkdir bad.img sub >/dev/null || fail "mkdir"
printf '\x31\x0b' | dd of=bad.img bs=1 seek=$((19 * 512 + 2 * 32 + 26)) conv=notrunc status=none
keep bad.img
for action in "files put bad.img prog.bin --to SUB" "files mkdir bad.img SUB/NEW" "files ls bad.img SUB" \
  "files get bad.img SUB/X --to out" "files rm bad.img SUB/X" "files rmdir bad.img SUB"; do
  # shellcheck disable=SC2086
  runs 1 '"SUB" is damaged' $action
done
unchanged bad.img
# A FAT16 volume of 2 GiB whose one file claims almost all of it, in an image cut after 16 MiB: the copy runs in
# pieces, so it takes little memory, and when the disk gives out the partial file is removed, not left as done.
rm -f huge.img && truncate -s 2040M huge.img && mkfs.fat -F 16 -s 64 huge.img >/dev/null
python3 - huge.img <<'EOF'
import struct, sys
with open(sys.argv[1], "r+b") as f:
    b = f.read(512)
    res, nf, spf, spc = struct.unpack_from("<H", b, 14)[0], b[16], struct.unpack_from("<H", b, 22)[0], b[13]
    data = res + nf * spf + struct.unpack_from("<H", b, 17)[0] * 32 // 512
    last = min((struct.unpack_from("<I", b, 32)[0] - data) // spc + 1, spf * 256 - 1)
    fat = struct.pack("<HH", 0xFFF8, 0xFFFF) + b"".join(struct.pack("<H", k + 1 if k < last else 0xFFFF)
                                                      for k in range(2, last + 1))
    f.seek(res * 512)
    f.write(fat)
    f.seek((res + nf * spf) * 512)
    f.write(b"HUGE    BIN\x20" + bytes(14) + struct.pack("<HI", 2, (last - 1) * spc * 512))
EOF
truncate -s 16M huge.img
peak=$(python3 -c 'import resource, subprocess, sys
r = subprocess.run(sys.argv[1:], stdout=subprocess.DEVNULL, stderr=open("err.txt", "w")).returncode
print(r, resource.getrusage(resource.RUSAGE_CHILDREN).ru_maxrss // 1024)' "$KORVANE" files get huge.img HUGE.BIN --to out)
[ "${peak% *}" = 1 ] && grep -q 'could not be read.*removed again' err.txt || fail "a 2 GiB file in a cut image: $peak $(cat err.txt)"
[ "${peak#* }" -lt 256 ] || fail "copying a file out took ${peak#* } MiB"
[ -e out/HUGE.BIN ] && fail "a partial copy was left behind"

# ---------------------------------------------------------------------------------------------------------------
# `get` of many files reads the boot record, the FAT and the folder once: each further file costs the read of its
# own clusters (one each here, as every file lies in clusters that follow each other).
reads() {  # reads IMAGE GET...: the reads of IMAGE in `korvane GET --to rd`
  rm -rf rd && mkdir rd
  # The leak check of a sanitized build cannot run under ptrace: it is left to the runs without strace.
  ASAN_OPTIONS="${ASAN_OPTIONS:+$ASAN_OPTIONS:}detect_leaks=0" \
    strace -y -e trace=read,pread64,readv,preadv,preadv2 -o trace.txt "$KORVANE" "${@:2}" --to rd >/dev/null &&
    grep -c "<$PWD/$1>" trace.txt
}
names=()
for ((i = 0; i < 10; i++)); do head -c 3000 /dev/urandom >"r$i.bin"; names+=("r$i.bin"); done
if command -v strace >/dev/null; then
  for kind in "disk.img blocks get disk.img 9" "plain.img files get plain.img"; do
    read -r img get <<<"$kind"
    case_name="reads of $get"
    # shellcheck disable=SC2086
    K ${get/get/put} "${names[@]}" --replace >/dev/null || fail "put"
    # shellcheck disable=SC2086
    one=$(reads "$img" $get r0.bin) ten=$(reads "$img" $get "${names[@]}")
    [ "$one" -gt 0 ] && [ $((ten - one)) -le 9 ] || fail "$one reads for one file, $ten for ten"
    for n in "${names[@]}"; do cmp -s "rd/$n" "$n" || fail "$n read back otherwise"; done
  done
fi

finish
