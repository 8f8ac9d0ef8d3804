#!/usr/bin/env python3
"""Builds FAT12/FAT16 test images laid out the way the formatter lays them.

The boot record carries EB 3C 90, "MSDOS5.0", the BPB given on the command
line, drive number 00, serial 68 06 73 84, "NO NAME    ", the boot program at
offset 62 and 55 AA. Files go into the root directory in the order given,
after an optional volume label entry, stored contiguously from cluster 2.
With --mbr the volume starts at --hidden and sector 0 holds the MBR program
with one active partition entry, as the general formatter writes it.
"""
import argparse
import struct
import sys


def parse_args(argv):
    p = argparse.ArgumentParser(description=__doc__)
    p.add_argument("output")
    p.add_argument("--boot", required=True, help="448-byte boot program")
    p.add_argument("--total", type=int, required=True, help="volume sectors")
    p.add_argument("--spc", type=int, required=True)
    p.add_argument("--root", type=int, required=True, help="root entries")
    p.add_argument("--media", type=lambda v: int(v, 16), required=True)
    p.add_argument("--spf", type=int, required=True)
    p.add_argument("--spt", type=int, required=True)
    p.add_argument("--heads", type=int, required=True)
    p.add_argument("--hidden", type=int, default=0)
    p.add_argument("--reserved", type=int, default=1)
    p.add_argument("--fats", type=int, default=2)
    p.add_argument("--label", default="")
    p.add_argument("--file", action="append", default=[],
                   help="NAME.EXT=PATH, stored in this order")
    p.add_argument("--mbr", help="445-byte MBR program; the volume starts at --hidden")
    p.add_argument("--disk-sectors", type=int, help="whole disk size, needed with --mbr")
    return p.parse_args(argv)


def dir_name(name):
    base, _, ext = name.upper().partition(".")
    return base.ljust(8).encode("ascii") + ext.ljust(3).encode("ascii")


def set_fat_entry(fat, fat16, cluster, value):
    if fat16:
        struct.pack_into("<H", fat, cluster * 2, value)
        return
    at = cluster * 3 // 2
    old = struct.unpack_from("<H", fat, at)[0]
    if cluster & 1:
        new = (old & 0x000F) | (value << 4)
    else:
        new = (old & 0xF000) | value
    struct.pack_into("<H", fat, at, new & 0xFFFF)


def build_dbr(a, boot, fat16):
    dbr = bytearray(512)
    dbr[0:3] = b"\xEB\x3C\x90"
    dbr[3:11] = b"MSDOS5.0"
    total16 = a.total if a.total < 65536 else 0
    total32 = 0 if a.total < 65536 else a.total
    struct.pack_into("<HBHBHHBHHHII", dbr, 11, 512, a.spc, a.reserved, a.fats, a.root,
                     total16, a.media, a.spf, a.spt, a.heads, a.hidden, total32)
    dbr[36] = 0x00
    dbr[38] = 0x29
    dbr[39:43] = b"\x68\x06\x73\x84"
    dbr[43:54] = b"NO NAME    "
    dbr[54:62] = b"FAT16   " if fat16 else b"FAT12   "
    dbr[62:510] = boot
    dbr[510:512] = b"\x55\xAA"
    return dbr


def build_mbr(a, program):
    mbr = bytearray(512)
    mbr[0:445] = program
    end_cyl = 1023
    entry = struct.pack("<BBBBBBBBII", 0x80, 1, 1, 0, 0x06, (a.heads - 1) & 0xFF,
                        (a.spt & 0x3F) | ((end_cyl >> 2) & 0xC0), end_cyl & 0xFF,
                        a.hidden, a.disk_sectors - a.hidden)
    mbr[446:462] = entry
    mbr[510:512] = b"\x55\xAA"
    return mbr


def main(argv):
    a = parse_args(argv)
    if a.mbr and (not a.disk_sectors or a.disk_sectors < a.hidden + a.total or a.hidden < 1):
        sys.exit("--mbr needs --hidden >= 1 and --disk-sectors covering the volume")
    boot = open(a.boot, "rb").read()
    if len(boot) != 448:
        sys.exit("boot program must be 448 bytes")
    root_sectors = (a.root * 32 + 511) // 512
    first_data = a.reserved + a.fats * a.spf + root_sectors
    clusters = (a.total - first_data) // a.spc
    fat16 = clusters >= 4085

    fat = bytearray(a.spf * 512)
    fat[0] = a.media
    fat[1] = 0xFF
    fat[2] = 0xFF
    if fat16:
        fat[3] = 0xFF
    root = bytearray(root_sectors * 512)
    data = bytearray()
    slot = 0
    if a.label:
        root[0:11] = a.label.encode("ascii")[:11].ljust(11, b"\0")
        root[11] = 0x08
        slot = 1
    cluster = 2
    cluster_bytes = a.spc * 512
    for item in a.file:
        name, _, path = item.partition("=")
        content = open(path, "rb").read()
        count = -(-len(content) // cluster_bytes)
        first = cluster if count else 0     # an empty file owns no cluster
        entry = dir_name(name) + bytes([0x20]) + bytes(14) + struct.pack("<HI", first, len(content))
        root[slot * 32:slot * 32 + 32] = entry
        slot += 1
        for c in range(cluster, cluster + count):
            set_fat_entry(fat, fat16, c, c + 1 if c + 1 < cluster + count else (0xFFFF if fat16 else 0xFFF))
        data += content.ljust(count * cluster_bytes, b"\0")
        cluster += count

    volume = bytearray(a.total * 512)
    volume[0:512] = build_dbr(a, boot, fat16)
    at = a.reserved * 512
    for _ in range(a.fats):
        volume[at:at + len(fat)] = fat
        at += len(fat)
    volume[at:at + len(root)] = root
    at += len(root)
    volume[at:at + len(data)] = data

    with open(a.output, "wb") as out:
        if a.mbr:
            program = open(a.mbr, "rb").read()
            if len(program) != 445:
                sys.exit("MBR program must be 445 bytes")
            out.write(build_mbr(a, program))
            out.seek(a.hidden * 512)       # the gap stays sparse and reads as zeros
        out.write(volume)
        if a.mbr:
            out.truncate(a.disk_sectors * 512)


if __name__ == "__main__":
    main(sys.argv[1:])
