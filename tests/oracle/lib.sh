# shellcheck shell=bash
# What the oracle scripts share, sourced first by each: a work folder that goes away, failures counted with the
# case named, korvane runs, and the checks several of them make with fsck.fat, mtools and dd.
set -u
# shellcheck disable=SC2034  # ORACLE is for the scripts that source this
ORACLE=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
export MTOOLS_SKIP_CHECK=1  # disks under 1024 x 32 sectors get 0 heads by design, which mtools would refuse
failures=0
case_name=
# The paths the caller gave stay valid in the work folder.
for name in KORVANE BUILD_DIR SRC_DIR; do [ -z "${!name:-}" ] || export "$name=$(realpath -m "${!name}")"; done
WORK=$(mktemp -d)
trap 'rm -rf "$WORK"' EXIT
cd "$WORK" || exit 1

fail() { echo "FAIL [$case_name]: $*"; failures=$((failures + 1)); }
# need TOOL...: the test is skipped (77) without them.
need() { for tool in "$@"; do command -v "$tool" >/dev/null || { echo "$tool missing"; exit 77; }; done; }
# finish: the summary line and the status.
finish() { echo "$failures failure(s)"; [ "$failures" -eq 0 ]; }
K() { "$KORVANE" "$@"; }
# run STATUS ARGS...: runs korvane, keeps its output in $out and checks its exit status (fails when it differs).
run() {
  local want=$1 rc
  shift
  out=$(timeout 20 "$KORVANE" "$@" </dev/null 2>&1)
  rc=$?
  [ "$rc" -eq "$want" ] || { fail "korvane $* exited $rc, expected $want: $out"; return 1; }
}
# expect_text TEXT...: every TEXT is in $out.
expect_text() { for text in "$@"; do case "$out" in *"$text"*) ;; *) fail "no '$text' in: $out" ;; esac; done; }
# runs STATUS TEXT ARGS...: run, then expect_text TEXT.
runs() { run "$1" "${@:3}" && expect_text "$2"; }
keep() { for f in "$@"; do cp "$f" "$f.before"; done; }
unchanged() { for f in "$@"; do cmp -s "$f" "$f.before" || fail "$f was changed"; done; }
# cut IMAGE START_SECTOR SECTORS OUT
cut() { dd if="$1" of="$4" bs=1M iflag=skip_bytes,count_bytes skip=$(($2 * 512)) count=$(($3 * 512)) status=none; }
label_of() { mdir -i "$1" ::/ 2>&1 | sed -n 's/^ Volume in drive : is //p'; }
# mbr FILE START SECTORS [STATUS TYPE SLOT]: FILE's sector 0 gets one partition entry (0, 6, 0 when not given).
mbr() {
  python3 -c 'import struct, sys; a = [int(v, 0) for v in sys.argv[2:]]; f = open(sys.argv[1], "r+b")
f.seek(446 + 16 * a[4]); f.write(bytes([a[2], 0, 0, 0, a[3], 0, 0, 0]) + struct.pack("<II", a[0], a[1]))
f.seek(510); f.write(b"\x55\xaa")' "$1" "$2" "$3" "${4:-0}" "${5:-6}" "${6:-0}"
}
# same_as_mtools VOLUME_FILE PATH HOSTFILE...: mtools reads each PATH from the volume with its HOSTFILE's bytes.
same_as_mtools() {
  local image=$1
  shift
  while [ $# -ge 2 ]; do
    rm -f mt.out
    mcopy -n -i "$image" "::$1" mt.out 2>/dev/null && cmp -s mt.out "$2" || fail "mtools reads ::$1 differently from $2"
    shift 2
  done
}
# floppy_at IMAGE START SECTORS LABEL: the SECTORS sectors from sector START of IMAGE (cut out to floppy.cut) are a
# volume fsck.fat finds clean, labelled LABEL as mtools reads it.
floppy_at() {
  cut "$1" "$2" "$3" floppy.cut
  fsck_clean floppy.cut "$4"
  [ "$(label_of floppy.cut)" = "$4" ] || fail "label '$(label_of floppy.cut)' at sector $2, expected '$4'"
}
# roundtrip IMAGE [BYTES]: a file copied onto the volume with mtools reads back the same, and fsck.fat finds the
# volume clean after it.
roundtrip() {
  head -c "${2:-70000}" /dev/urandom >in.bin && rm -f out.bin
  mcopy -i "$1" in.bin ::/IN.BIN && mcopy -n -i "$1" ::/IN.BIN out.bin && cmp -s in.bin out.bin ||
    fail "a file does not read back from the volume"
  fsck_clean "$1"
}
# sysfiles DIR: the system files of both DOS families (OS6A to OS7C) in DIR: the stand-in IO.SYS (testio.sys, which
# reports on COM1 when it runs) and random bytes for MSDOS.SYS and COMMAND.COM.
sysfiles() {
  mkdir -p "$1"
  for v in 6 7; do
    cp "$BUILD_DIR/testio.sys" "$1/OS${v}A" || fail "no testio.sys: build first"
    head -c 1000 /dev/urandom >"$1/OS${v}B"
    head -c 54321 /dev/urandom >"$1/OS${v}C"
  done
}
# fsck_clean FILE [WHAT]: fsck.fat (its output kept in $fsck_out) finds nothing wrong but what this layout asks for:
# label entries padded with zero bytes, not spaces; a floppy DBR's label field of 11 spaces, or NO NAME (1.2M).
fsck_clean() {
  local rest rc
  fsck_out=$(fsck.fat -n "$1" 2>&1)
  rc=$?
  rest=$(grep -vE -e "^(fsck\.fat |Volume label '.*' stored in root directory is not valid\.$|  Auto-removing label\.$)" \
    -e "^(Label '' stored in boot sector is not valid\.|  Auto-removing label from boot sector\.)$" \
    -e "^(There is no label in boot sector, but there is volume label '.*' stored in root directory|  Auto-copying vol.*)$" \
    -e "^(Leaving filesystem unchanged\.|.*: [0-9]+ files, [0-9]+/[0-9]+ clusters|)$" <<<"$fsck_out")
  [ $rc -le 1 ] && [ -z "$rest" ] || { fail "fsck.fat (exit $rc)${2:+ after $2}:"; printf '%s\n' "$fsck_out"; }
}
