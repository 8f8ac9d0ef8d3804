#!/bin/bash
# What korvane refuses before it writes, and what it says when it stops: targets that are not its to write
# (the source of an export, other block devices, FIFOs, sockets, character devices, dangling links), partition
# tables with no valid entry, a target another korvane holds, read-only images, sector numbers that would wrap, and
# the exit statuses. (Terminal escapes in disk text: codepage.test.sh.)
. "$(dirname "$0")/lib.sh"
: "${KORVANE:?}"
need python3 mkfs.fat

# image FILE MIB START SECTORS STATUS [SLOT]: an image whose sector 0 holds one partition entry.
image() { truncate -s "$2M" "$1" && mbr "$1" "$3" "$4" "$5" 6 "${6:-0}"; }

case_name="export and get never write over their source or through a dangling link"
truncate -s 8M disk.img
run 0 blocks format disk.img --count 3
ln disk.img hard.img
ln -s disk.img soft.img
echo data > A.TXT
run 0 blocks put disk.img 0 A.TXT
mkdir -p out/hard out/soft out/dangling
ln disk.img out/hard/A.TXT
ln -s ../../disk.img out/soft/A.TXT
ln -s missing/A.TXT out/dangling/A.TXT
keep disk.img
for out_path in disk.img hard.img soft.img; do runs 1 "itself" blocks export disk.img 1 "$out_path"; done
for get in "files get disk.img" "blocks get disk.img 0"; do
  for folder in hard soft dangling; do
    # shellcheck disable=SC2086
    runs 1 "$([ $folder = dangling ] && echo "link to nothing" || echo itself)" $get A.TXT --to "out/$folder" --force
  done
done
[ -e out/dangling/missing ] && fail "get created a dangling link's target"
unchanged disk.img
mkfifo fifo
runs 1 "character device" blocks export disk.img 1 /dev/null
runs 1 "FIFO" blocks export disk.img 1 fifo
[ ! -b /dev/loop0 ] || runs 1 "not a USB disk" blocks export disk.img 1 /dev/loop0
run 0 blocks export disk.img 1 block1.img
[ "$(stat -c %s block1.img)" = 1474560 ] || fail "the export is not one floppy image"

case_name="FIFOs, sockets, character devices and dangling links are refused, never waited on or created"
runs 1 "FIFO" blocks import disk.img 1 fifo
runs 1 "character device" blocks import disk.img 1 /dev/zero
python3 -c 'import socket, sys; socket.socket(socket.AF_UNIX).bind(sys.argv[1])' sock
for target in fifo sock /dev/zero; do
  run 1 floppy "$target" --kind 720K
  run 1 info "$target"
done
ln -s missing/floppy.img dangling.img
runs 1 "link to nothing" floppy dangling.img --kind 1.44M
[ -e missing/floppy.img ] && fail "the link's target was created"
unchanged disk.img

case_name="a partition table with no valid entry is refused, not taken as absent"
image past.img 20 100000 100 0x80
image zero.img 20 0 0xFFFFFFFF 0x80
image status.img 20 2048 4000 0x12
image slot2.img 20 2048 30000 0x80 1
keep past.img zero.img status.img slot2.img
for image in past.img zero.img status.img slot2.img; do
  runs 1 "nothing was written" blocks format "$image" --count 2
  run 1 blocks import "$image" 0 block1.img
  run 1 blocks label "$image" 0 NEW
  unchanged "$image"
done
runs 0 "no valid entry" info past.img
runs 0 "slot 2 holds sector 2048, 30000 sectors" info slot2.img
# A FAT boot record in sector 0 is a disk without a table; so is a sector without 55 AA.
mkfs.fat -C whole.img 8192 >/dev/null
run 0 blocks format whole.img --count 2
image good.img 20 2048 30000 0x80
runs 0 "from sector 2048" blocks format good.img --count 2

case_name="a target another korvane holds is refused at once; a read-only image can be read"
if command -v flock >/dev/null; then
  keep good.img
  exec 9<good.img
  flock -x -n 9 || fail "cannot lock good.img for the test"
  start=$(date +%s)
  runs 1 "in use" blocks format good.img --count 1
  run 1 blocks list good.img
  [ $(($(date +%s) - start)) -le 2 ] || fail "korvane waited for the lock"
  exec 9<&-
  unchanged good.img
fi
if [ "$(id -u)" = 0 ] && command -v setpriv >/dev/null; then
  chmod 755 "$WORK"
  chmod 444 good.img
  as_nobody() { out=$(setpriv --reuid=65534 --regid=65534 --clear-groups "$KORVANE" "$@" 2>&1); }
  as_nobody info good.img || fail "info on a read-only image: $out"
  as_nobody blocks list good.img || fail "blocks list on a read-only image: $out"
  expect_text "valid blocks: 2"
  as_nobody blocks export good.img 0 /dev/stdout >/dev/null 2>&1
  as_nobody blocks label good.img 0 X && fail "a read-only image was written"
  chmod 644 good.img
fi

case_name="sizes and sector numbers: no wrap, no misleading count"
run 2 floppy huge.img --kind 1.44M --at 18446744073709551615
run 2 floppy huge.img --kind 1.44M --at 4294966000
[ -e huge.img ] && fail "a refused floppy created its image"
: > empty.img
runs 0 "0 sectors of 512 bytes" info empty.img
truncate -s 512 one.img
runs 0 "1 sector of 512 bytes" info one.img
truncate -s 3T big.img
runs 0 "6442450944 sectors" info big.img

case_name="format refuses what it cannot finish before its first write"
truncate -s 1M small.img
mkdir -p sys
for file in A:100 B:3000000 C:100; do head -c "${file#*:}" /dev/zero >"sys/OS7${file%:*}"; done
keep small.img
runs 1 "nothing was written" format small.img --root 0
runs 1 "nothing was written" format small.img --dos 7.1 --sysfiles sys
run 1 blocks format good.img --count 1 --dos 7.1 --sysfiles sys
unchanged small.img

case_name="exit statuses"
for usage in "" nosuchcommand "list extra" info blocks "blocks format disk.img" "floppy disk.img" \
  "format disk.img --fats 3"; do
  # shellcheck disable=SC2086
  run 2 $usage
done
run 1 info nothing.img
run 0 --help && expect_text "exit status" 130
# Every command and subcommand answers --help with its usage on stdout, and looks at nothing else.
for command in list info floppy format blocks files "blocks "{format,list,label,export,import,ls,put,get,rm,mkdir,rmdir} \
  "files "{ls,put,get,rm,mkdir,rmdir}; do
  # shellcheck disable=SC2086
  usage=$("$KORVANE" $command nothing.img --help 2>err.txt)
  rc=$?
  [ $rc = 0 ] && [ ! -s err.txt ] && [[ "$usage" == "usage:"*"${command#* }"* ]] ||
    fail "korvane $command --help exited $rc: $usage $(cat err.txt)"
done

finish
