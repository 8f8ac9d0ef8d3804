# Checks of what the stand-in IO.SYS (testio.asm) reports, sourced by the
# oracle tests that boot it after lib.sh. The boot's output is in $out and the
# report line in $line (testio_report, or boot_testio, which boots and checks).

# testio_report OUTPUT: the report line of a boot's output, if any.
testio_report() { grep -m1 '^KORVANE-TESTIO ' <<<"$1" | tr -d '\r'; }

field() { sed -n "s/.* $1=\([^ ]*\).*/\1/p" <<<"$line"; }

# expect_field NAME=VALUE...: the report holds each field with its value.
expect_field() {
  local pair got
  for pair in "$@"; do
    got=$(field "${pair%%=*}")
    [ "$got" = "${pair#*=}" ] || fail "${pair%%=*}=$got, expected ${pair#*=}"
  done
}

# expect_entry DRIVE SP TABLE SPT NAME=VALUE...: a report came, DL and the in-memory BPB's drive number are DRIVE,
# the report holds each NAME=VALUE, and the stack (at SP) holds the diskette parameter vector's address and its
# original value (not the vector now), which points at the table copy at 0000:TABLE with the disk's sectors per
# track as last sector.
expect_entry() {
  [ -n "$line" ] || { fail "no IO.SYS report"; printf '%s\n' "$out"; return 1; }
  local dx stack
  dx=$(field DX)
  [ "${dx:2:2}" = "$1" ] || fail "DL=${dx:2:2}, expected $1"
  expect_field DRV="$1" SP="$2" I1E="0000:$3" EOT="$(printf %02X "$4")" "${@:5}"
  IFS=, read -ra stack <<<"$(field STACK)"
  [ "${stack[0]},${stack[1]}" = 0078,0000 ] || fail "STACK=$(field STACK), expected 0078,0000,..."
  [ "${stack[3]}:${stack[2]}" != "$(field I1E)" ] || fail "STACK holds the new vector, not the original"
}

# expect_622 DRIVE DATA_START MEDIA SPT MSDOS_CLUSTER: the DOS 6.22 contract.
expect_622() {
  expect_entry "$1" 7BF8 7C3E "$4" entry=622 AX="$(printf %04X $(($2 >> 16)))" BX="$(printf %04X $(($2 & 0xFFFF)))" \
    SECTORS=123- MODE=90 DIR=++ MSCLUS="$(printf %04X "$5")" || return
  local cx
  cx=$(field CX)
  [ "${cx:0:2}" = "$3" ] || fail "CH=${cx:0:2}, expected $3"
}

# expect_71 DRIVE DATA_START CLUSTER SPT: the DOS 7.1 contract.
expect_71() {
  expect_entry "$1" 7BF4 0522 "$4" entry=71 BP=7C00 '\[BP-4\]'="$(printf %08X "$2")" DI="$(printf %04X "$3")" \
    SECTORS=1234
}

# boot_testio MEDIA IMAGE OFFSET ENTRY [qemu_boot.sh options]: QEMU boots IMAGE from MEDIA (fda or hda) to the
# stand-in IO.SYS, which reports the contract of ENTRY (622 or 71) for the volume whose boot sector is at byte
# OFFSET of IMAGE, holding the 4-sector stand-in IO.SYS from cluster 2 and MSDOS.SYS right after it.
boot_testio() {
  out=$("$ORACLE/qemu_boot.sh" -t 30 -u KORVANE-TESTIO "${@:5}" "$1" "$2" 2>&1)
  line=$(testio_report "$out")
  local b drive
  drive=$([ "$1" = fda ] && echo 00 || echo 80)
  read -ra b <<<"$(od -An -v -tu1 -w32 -j "$3" -N 32 "$2")"
  local spc=${b[13]} reserved=$((b[14] + 256 * b[15])) fats=${b[16]} root=$((b[17] + 256 * b[18]))
  local spf=$((b[22] + 256 * b[23])) spt=$((b[24] + 256 * b[25]))
  local hidden=$((b[28] + 256 * b[29] + 65536 * b[30] + 16777216 * b[31]))
  local data=$((hidden + reserved + fats * spf + (root * 32 + 511) / 512))
  if [ "$4" = 622 ]; then
    expect_622 "$drive" "$data" "$(printf %02X "${b[21]}")" "$spt" $((2 + (4 + spc - 1) / spc))
  else
    expect_71 "$drive" "$data" 2 "$spt"
  fi
}
