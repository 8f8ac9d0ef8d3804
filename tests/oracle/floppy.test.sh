#!/bin/bash
# Floppy images written by `korvane floppy`, checked by tools nobody here wrote: fsck.fat and mtools read the file
# system back, QEMU boots it. Every kind, with and without a volume label and system files, at sector 0 and inside
# a larger image file. The system files are the stand-in IO.SYS (testio.sys, which reports on COM1 when it runs)
# and random bytes for MSDOS.SYS and COMMAND.COM.
. "$(dirname "$0")/lib.sh"
: "${KORVANE:?}" "${BUILD_DIR:?}" "${SRC_DIR:?}"
need fsck.fat mdir mtype mdel od cmp
# shellcheck source=testio_checks.sh
. "$ORACLE/testio_checks.sh"
command -v qemu-system-i386 >/dev/null && can_boot=1 || { can_boot=0; echo "note: no QEMU, the images are not booted"; }
export MTOOLSRC=/dev/null

SYS=$WORK/SysFile
sysfiles "$SYS"


# check_fsck IMAGE FILES: fsck.fat finds the volume clean, holding FILES files (the label entry counts as one).
check_fsck() { fsck_clean "$1" && grep -qE ": $2 files, " <<<"$fsck_out" || fail "fsck.fat does not count $2 files"; }

# mtools reads the three files back byte for byte.
check_files() {
  for pair in IO.SYS:A MSDOS.SYS:B COMMAND.COM:C; do
    mtype -i "$1" "::${pair%%:*}" | cmp -s - "$SYS/OS$2${pair##*:}" || fail "mtype: ${pair%%:*} differs from its source"
  done
}

# boot IMAGE TEXT|ENTRY: QEMU shows TEXT, or the stand-in IO.SYS ran with the contract of ENTRY's DOS (622 or 71),
# registers, stack and memory as its loader reads them.
boot() {
  [ $can_boot = 1 ] || return 0
  case $2 in 622 | 71) boot_testio fda "$1" 0 "$2"; return ;; esac
  out=$("$ORACLE/qemu_boot.sh" -t 30 -u "$2" fda "$1" 2>&1)
  grep -qF "$2" <<<"$out" || { fail "boot did not show '$2'"; printf '%s\n' "$out"; }
}

for kinds in 720K:1440 1.2M:2400 1.44M:2880; do
  IFS=: read -r kind total <<<"$kinds"
  for label in "" FLPPY7; do
    for dos in none 6.22 7.1; do
      case_name="$kind label='$label' dos=$dos"
      image=$WORK/$kind-$label-$dos.img
      args=(--kind "$kind")
      [ -z "$label" ] || args+=(--label "$label")
      [ $dos = none ] || args+=(--dos $dos --sysfiles "$SYS")
      run 0 floppy "$image" "${args[@]}" --yes || continue
      [ "$(stat -c %s "$image")" = $((total * 512)) ] || fail "image file of $(stat -c %s "$image") bytes"
      files=$([ $dos = none ] && echo 0 || echo 3)
      [ -z "$label" ] || files=$((files + 1))
      check_fsck "$image" $files
      case $dos in
        none) [ -n "$label" ] || boot "$image" "Invalid system disk" ;;
        6.22) check_files "$image" 6; boot "$image" 622 ;;
        7.1) check_files "$image" 7; boot "$image" 71 ;;
      esac
      if [ $dos = 6.22 ] && [ -z "$label" ]; then
        case_name="$kind DOS 6.22 boot program without system files"
        mdel -i "$image" ::IO.SYS ::MSDOS.SYS ::COMMAND.COM || fail "mdel"
        boot "$image" "Non-System disk or disk error"
      fi
    done
  done

  # Inside a larger image file that already holds data: only the image's sectors change, the file keeps its size.
  case_name="$kind at sector 3072"
  big=$WORK/$kind-big.img
  head -c $(((3072 + total + 64) * 512)) /dev/urandom >"$big"
  cp "$big" "$big.before"
  if run 0 floppy "$big" --kind "$kind" --at 3072 --label ABCDEFGHIJK --dos 7.1 --sysfiles "$SYS" --yes; then
    cmp -s "$big" "$big.before" -n $((3072 * 512)) || fail "sectors before the image changed"
    cmp -s "$big" "$big.before" -i $(((3072 + total - 1) * 512)) || fail "the image's last sector or what follows changed"
    [ "$(stat -c %s "$big")" = "$(stat -c %s "$big.before")" ] || fail "the image file changed its size"
    dd if="$big" of="$big.cut" bs=512 skip=3072 count="$total" status=none
    check_fsck "$big.cut" 4
    check_files "$big@@$((3072 * 512))" 7
    boot "$big.cut" 71
  fi
done

# Refusals: the message, the status, and no target created (a label too long: codepage.test.sh).
mkdir partial && cp "$SYS/OS7A" "$SYS/OS7C" partial/
while IFS='|' read -r case_name status text; do
  # shellcheck disable=SC2086  # the case is the options
  runs "$status" "$text" floppy refused.img $case_name
  [ ! -e refused.img ] || fail "target created"
done <<'TABLE'
--kind 2.88M|2|unknown floppy kind '2.88M'
--kind 720K --dos 7.1|2|--dos and --sysfiles go together
--kind 720K --dos 7.1 --sysfiles partial|1|cannot find partial/OS7B
--label X|2|1.44M is required
TABLE

finish
