#!/bin/bash
# `korvane list` over a stand-in sysfs tree (one USB stick, one SATA disk) and `korvane info` on images that
# mkfs.fat made, with and without a partition table.
. "$(dirname "$0")/lib.sh"
: "${KORVANE:?}"
need mkfs.fat python3
expect() {  # expect NAME EXPECTED ACTUAL
  case_name=$1
  [ "$2" = "$3" ] || fail "expected: $2"$'\n'"  actual:   $3"
}

# block DEVICE-PATH NAME SECTORS VENDOR MODEL REMOVABLE: a whole disk in the stand-in sysfs.
ROOT=$WORK/root
mkdir -p "$ROOT/sys/block" "$ROOT/dev"
block() {
  local dev=$ROOT/sys/devices/$1 name=$2
  mkdir -p "$dev/block/$name/queue"
  echo "$4" > "$dev/vendor"; echo "$5" > "$dev/model"
  ln -s ../.. "$dev/block/$name/device"
  echo "$3" > "$dev/block/$name/size"; echo 512 > "$dev/block/$name/queue/logical_block_size"
  echo "$6" > "$dev/block/$name/removable"
  ln -s "../devices/$1/block/$name" "$ROOT/sys/block/$name"
}
partition() {  # partition NAME PART NUMBER START SECTORS
  local dir=$ROOT/sys/block/$1/$2
  mkdir -p "$dir"
  echo "$3" > "$dir/partition"; echo "$4" > "$dir/start"; echo "$5" > "$dir/size"
}
block "pci0000:00/0000:00:17.0/ata1/host0/target0:0:0/0:0:0:0" sda 500118192 "ATA     " "Samsung SSD" 0
partition sda sda1 1 2048 500116144
block "pci0000:00/0000:00:14.0/usb2/2-1/2-1:1.0/host6/target6:0:0/6:0:0:0" sdb 4000000 "Generic " \
  "Flash Disk      " 1
partition sdb sdb1 1 63 3994214
mkfs.fat -F 16 -C "$ROOT/dev/sdb1" 20480 >/dev/null
: > "$ROOT/dev/sda1"

out=$(KORVANE_SYSTEM_ROOT=$ROOT "$KORVANE" list)
expect "list" '1.Generic Flash Disk(1.9GB\512B): sdb1(1950.3M,FAT16) 
   /dev/sdb: USB, removable, first partition sdb1 at sector 63, 3994214 sectors' "$out"
case "$out" in *sda*|*Samsung*) fail "a SATA disk was listed" ;; esac

# A second stick with a floppy image at sector 0 and no partition table.
block "pci0000:00/0000:00:14.0/usb2/2-2/2-2:1.0/host7/target7:0:0/7:0:0:0" sdc 2880 "Korvane" "Floppy" 0
mkfs.fat -C "$ROOT/dev/sdc" 1440 >/dev/null
out=$(KORVANE_SYSTEM_ROOT=$ROOT "$KORVANE" list | tail -n 2)
expect "list whole-disk volume" '2.Korvane Floppy(1.4MB\512B): sdc(1.4M,FAT12) 
   /dev/sdc: USB, no partition table' "$out"

out=$(KORVANE_SYSTEM_ROOT=$WORK/none "$KORVANE" list)
expect "list nothing" "no USB disk found" "$out"

mkfs.fat -C "$WORK/floppy.img" 1440 >/dev/null
out=$("$KORVANE" info "$WORK/floppy.img" | tail -n 2)
expect "info floppy" 'first partition: sector 0, 2880 sectors (no partition table: the whole disk)
FAT type: FAT12' "$out"

truncate -s $((40000 * 512)) "$WORK/disk.img" && mbr "$WORK/disk.img" 63 $((40000 - 63)) 0x80
mkfs.fat -F 16 --offset 63 "$WORK/disk.img" $(((40000 - 63) / 2)) >/dev/null
out=$("$KORVANE" info "$WORK/disk.img")
expect "info partitioned" "$WORK/disk.img: 40000 sectors of 512 bytes (19.5 MiB)
first partition: sector 63, 39937 sectors
FAT type: FAT16" "$out"

finish
