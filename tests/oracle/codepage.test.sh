#!/bin/bash
# Labels, identifiers and 8.3 names in the disk's code page (--codepage): what korvane writes is what mtools reads
# with the same code page, a character the code page lacks is refused with nothing written, and every listing of
# disk text shows control bytes and bytes that do not decode as \xNN.
. "$(dirname "$0")/lib.sh"
: "${KORVANE:?}"
need mlabel
no_control() { case "$out" in *$'\033'*|*$'\a'*|*$'\r'*) fail "a control byte reached the terminal: $out" ;; esac; }
# mtools_label IMAGE[@@OFFSET] CODEPAGE: the label as mtools reads it in that code page.
mtools_label() {
  printf 'default_codepage=%s\nmtools_skip_check=1\n' "$2" > mtoolsrc
  MTOOLSRC=mtoolsrc mlabel -s -i "$1" :: 2>&1
}

case_name="a Chinese identifier in code page 936"
truncate -s 8M blocks.img
run 0 blocks format blocks.img --count 3
run 0 blocks label blocks.img 1 中文 --codepage 936
case "$(mtools_label blocks.img@@$((3072 * 512)) 936)" in *中文*) ;; *) fail "mtools reads $(mtools_label blocks.img@@$((3072 * 512)) 936)" ;; esac
runs 0 $'FLPPY0\n中文\nFLPPY2' blocks list blocks.img --codepage 936
cp blocks.img blocks.before
runs 1 "code page 850 has no such character" blocks label blocks.img 2 中文
cmp -s blocks.img blocks.before || fail "a refused identifier changed the disk"
run 2 blocks list blocks.img --codepage 99999

case_name="labels of floppy and format in code pages 437 and 936"
truncate -s 1440K floppy.img
run 0 floppy floppy.img --kind 1.44M --label ÉTÉ --codepage 437
case "$(mtools_label floppy.img 437)" in *ÉTÉ*) ;; *) fail "mtools reads $(mtools_label floppy.img 437)" ;; esac
runs 0 "label ÉTÉ" files ls floppy.img --codepage 437
runs 2 "takes 12 bytes in code page 936; at most 11 fit" floppy floppy.img --kind 1.44M --label 中文中文中文 --codepage 936
truncate -s 16M volume.img
run 0 format volume.img --label 中文卷标 --codepage 936
case "$(mtools_label volume.img 936)" in *中文卷标*) ;; *) fail "mtools reads $(mtools_label volume.img 936)" ;; esac

case_name="disk text in every listing is escaped"
# The label of block 0 and a file name in block 0 and in the floppy get control bytes; block 1 a byte that is no
# character of code page 936.
run 0 blocks put blocks.img 0 mtoolsrc --as A.TXT
run 0 files put floppy.img mtoolsrc --as A.TXT
root=$((19 * 512))
printf 'E\033[2J\a\r' | dd of=blocks.img bs=1 seek=$root conv=notrunc status=none
printf 'B\033]0;' | dd of=blocks.img bs=1 seek=$((root + 32)) conv=notrunc status=none
printf 'B\033]0;' | dd of=floppy.img bs=1 seek=$((root + 32)) conv=notrunc status=none
printf 'A\201\0' | dd of=blocks.img bs=1 seek=$(((3072 + 19) * 512)) conv=notrunc status=none
run 0 blocks list blocks.img --codepage 936
no_control
expect_text 'E\x1b[2J\x07\x0d' $'\nA\\x81\n'
for listing in "blocks ls blocks.img 0" "files ls floppy.img" "files ls blocks.img"; do
  # shellcheck disable=SC2086
  run 0 $listing --codepage 437
  no_control
  expect_text 'B\x1b]0;'
done
runs 0 'label E\x1b[2J\x07\x0d' files ls blocks.img

case_name="file names in code pages 936 and 850"
# 乤 and 乗 are 81 61 and 81 5C in code page 936: trail bytes that look like 'a' and '\'.
truncate -s 1440K names.img
run 0 floppy names.img --kind 1.44M
printf 'GBK name\n' > 中乤乗.txt
printf 'accent\n' > café.txt
run 0 files mkdir names.img 目录 --codepage 936
run 0 files put names.img 中乤乗.txt --to 目录 --codepage 936
printf 'default_codepage=936\nmtools_skip_check=1\n' > mtoolsrc
case "$(MTOOLSRC=mtoolsrc mdir -i names.img ::/目录 2>&1)" in *中乤乗*TXT*) ;; *) fail "mdir reads $(MTOOLSRC=mtoolsrc mdir -i names.img ::/目录 2>&1)" ;; esac
runs 0 "中乤乗.TXT" files ls names.img 目录 --codepage 936
mkdir out
run 0 files get names.img 目录/中乤乗.txt --to out --codepage 936
cmp -s out/中乤乗.txt 中乤乗.txt || fail "the file did not come back whole under its name"
run 0 files rm names.img 目录/中乤乗.TXT --codepage 936
run 0 files rmdir names.img 目录 --codepage 936
run 0 files put names.img café.txt
LC_ALL=C grep -qaF "$(printf 'CAF\220    TXT')" names.img || fail "café.txt is not CAFÉ.TXT in code page 850"
runs 0 "CAFÉ.TXT" files ls names.img

finish
