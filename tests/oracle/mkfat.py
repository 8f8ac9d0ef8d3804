#!/usr/bin/env python3
"""Builds FAT12/FAT16 test images laid out the way the formatter lays them.

The boot record carries EB 3C 90, "MSDOS5.0", the BPB given on the command
line (one reserved sector, two FATs), drive number 00, serial 68 06 73 84,
"NO NAME    ", the boot program at offset 62 and 55 AA. Files go into the root directory in the order given,
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
    for name in ("total", "spc", "root", "spf", "spt", "heads"):  # volume sectors, ..., root entries, ...
        p.add_argument("--" + name, type=int, required=True)
    p.add_argument("--media", type=lambda v: int(v, 16), required=True)
    p.add_argument("--hidden", type=int, default=0)
    p.add_argument("--label", default="")
    p.add_argument("--file", action="append", default=[], help="NAME.EXT=PATH, stored in this order")
    p.add_argument("--mbr", help="445-byte MBR program; the volume starts at --hidden")
    p.add_argument("--disk-sectors", type=int, help="whole disk size, needed with --mbr")
    return p.parse_args(argv)


def read_program(path, size):
    data = open(path, "rb").read()
    if len(data) != size:
        sys.exit("%s must be %d bytes" % (path, size))
    return data


def set_fat_entry(fat, fat16, cluster, value):
    if fat16:
        struct.pack_into("<H", fat, cluster * 2, value)
        return
    at = cluster * 3 // 2
    old = struct.unpack_from("<H", fat, at)[0]
    new = (old & 0x000F) | (value << 4) if cluster & 1 else (old & 0xF000) | value
    struct.pack_into("<H", fat, at, new & 0xFFFF)


def main(argv):
    a = parse_args(argv)
    boot = read_program(a.boot, 448)
    root_sectors = (a.root * 32 + 511) // 512
    first_data = 1 + 2 * a.spf + root_sectors
    fat16 = (a.total - first_data) // a.spc >= 4085

    dbr = bytearray(512)
    dbr[0:11] = b"\xEB\x3C\x90MSDOS5.0"
    struct.pack_into("<HBHBHHBHHHII", dbr, 11, 512, a.spc, 1, 2, a.root,
                     a.total if a.total < 65536 else 0, a.media, a.spf, a.spt, a.heads, a.hidden,
                     0 if a.total < 65536 else a.total)
    dbr[38:62] = b"\x29\x68\x06\x73\x84NO NAME    " + (b"FAT16   " if fat16 else b"FAT12   ")
    dbr[62:512] = boot + b"\x55\xAA"

    fat = bytearray(a.spf * 512)
    fat[0:4] = bytes([a.media, 0xFF, 0xFF, 0xFF if fat16 else 0])
    root = bytearray(root_sectors * 512)
    data = bytearray()
    entries = []
    if a.label:
        entries.append(a.label.encode("ascii")[:11].ljust(11, b"\0") + b"\x08" + bytes(20))
    cluster, cluster_bytes = 2, a.spc * 512
    for item in a.file:
        name, _, path = item.partition("=")
        content = open(path, "rb").read()
        count = -(-len(content) // cluster_bytes)
        base, _, ext = name.upper().partition(".")
        entries.append(base.ljust(8).encode("ascii") + ext.ljust(3).encode("ascii") + b"\x20" + bytes(14) +
                       struct.pack("<HI", cluster if count else 0, len(content)))  # an empty file owns no cluster
        for c in range(cluster, cluster + count):
            set_fat_entry(fat, fat16, c, c + 1 if c + 1 < cluster + count else (0xFFFF if fat16 else 0xFFF))
        data += content.ljust(count * cluster_bytes, b"\0")
        cluster += count
    root[0:32 * len(entries)] = b"".join(entries)
    volume = dbr + fat * 2 + root + data
    volume += bytes(a.total * 512 - len(volume))

    with open(a.output, "wb") as out:
        if a.mbr:
            end_cyl = 1023
            entry = struct.pack("<BBBBBBBBII", 0x80, 1, 1, 0, 0x06, (a.heads - 1) & 0xFF,
                                (a.spt & 0x3F) | ((end_cyl >> 2) & 0xC0), end_cyl & 0xFF,
                                a.hidden, a.disk_sectors - a.hidden)
            out.write(read_program(a.mbr, 445) + bytes(1) + entry + bytes(48) + b"\x55\xAA")
            out.seek(a.hidden * 512)       # the gap stays sparse and reads as zeros
        out.write(volume)
        if a.mbr:
            out.truncate(a.disk_sectors * 512)


if __name__ == "__main__":
    main(sys.argv[1:])
