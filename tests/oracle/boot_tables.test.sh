#!/bin/bash
# The embedded boot program tables: the generated C++ source must hold exactly
# the assembled bytes, and the generator must stop
# the build on a program of the wrong size or without one of its texts.
. "$(dirname "$0")/lib.sh"
: "${BUILD_DIR:?}" "${SRC_DIR:?}"
need python3
BINS=$BUILD_DIR/boot
EMBED=$SRC_DIR/src/boot/embed.cmake

# (That each table's checksum is the FNV-1a of its bytes, the program's own self-check proves: SelfCheckPasses.)
for table in kBootProgramDos622:boot622 kBootProgramDos71:boot71 kMbrProgram:mbr; do
  bin=$BINS/${table#*:}.bin
  got=$(sed -n "/ ${table%:*}\[$(stat -c %s "$bin")\] = {/,/^};/p" "$BINS/boot_programs.cpp" | grep -o '0x[0-9a-f]*')
  [ -n "$got" ] && [ "$got" = "$(od -An -v -tx1 "$bin" | tr -s ' ' '\n' | sed -n 's/^./0x&/p')" ] ||
    fail "${table%:*}: the table is missing or differs from ${table#*:}.bin"
done

# embed_with NAME: runs the generator on the real programs with NAME.bin
# replaced by $WORK/tampered; succeeds when the generator succeeds.
embed_with() {
  rm -rf "$WORK/bins" && mkdir "$WORK/bins" && cp "$BINS"/{boot622,boot71,mbr}.bin "$WORK/bins/"
  cp "$WORK/tampered" "$WORK/bins/$1.bin"
  cmake -DBIN_DIR="$WORK/bins" -DOUT="$WORK/out.cpp" -P "$EMBED" >"$WORK/log" 2>&1
}

cp "$BINS/boot71.bin" "$WORK/tampered"
embed_with boot71 || fail "generator refuses the real programs: $(cat "$WORK/log")"

head -c 447 "$BINS/boot622.bin" >"$WORK/tampered"
embed_with boot622 && fail "a 447-byte DOS 6.22 program was accepted"

# The same size, one message damaged.
LC_ALL=C sed 's|Disk I/O error|Disk I/O errxr|' "$BINS/boot71.bin" >"$WORK/tampered"
embed_with boot71 && fail "a DOS 7.1 program without \"Disk I/O error\" was accepted"
grep -q "Disk I/O error" "$WORK/log" || fail "the refusal does not name the missing text"

# A name found only half a byte off in the hex dump does not count.
python3 - "$BINS/boot622.bin" "$WORK/tampered" <<'PY'
import sys
dump = open(sys.argv[1], "rb").read().hex()
name = b"MSDOS   SYS".hex()
at = dump.find(name)
dump = dump[:at] + "0" + name + dump[at + len(name) + 1:]
open(sys.argv[2], "wb").write(bytes.fromhex(dump))
PY
embed_with boot622 && fail "a DOS 6.22 program with \"MSDOS   SYS\" only at a half-byte offset was accepted"

finish
