#!/usr/bin/env python3
"""Checks a kernel driver image: native subsystem, an entry point, imports only from ntoskrnl.exe and HAL.dll, a
correct PE checksum. With --fix-checksum the checksum is written first (the loader of 64-bit Windows checks it)."""
import struct
import sys

ALLOWED = {"ntoskrnl.exe", "hal.dll"}


def checksum(data, field):
    total = 0
    for i in range(0, len(data) - len(data) % 2, 2):
        if field <= i < field + 4:
            continue
        total += data[i] | (data[i + 1] << 8)
        total = (total & 0xFFFF) + (total >> 16)
    if len(data) % 2:
        total += data[-1]
        total = (total & 0xFFFF) + (total >> 16)
    total = (total & 0xFFFF) + (total >> 16)
    return (total + len(data)) & 0xFFFFFFFF


def headers(data):
    pe = struct.unpack_from("<I", data, 0x3C)[0]
    if data[pe:pe + 4] != b"PE\0\0":
        raise ValueError("not a PE image")
    sections = struct.unpack_from("<H", data, pe + 6)[0]
    optional_size = struct.unpack_from("<H", data, pe + 20)[0]
    opt = pe + 24
    magic = struct.unpack_from("<H", data, opt)[0]
    directories = opt + (96 if magic == 0x10B else 112)
    table = opt + optional_size
    spans = [struct.unpack_from("<IIII", data, table + 40 * i + 8) for i in range(sections)]
    return opt, directories, spans


def file_offset(spans, rva):
    for size, address, raw_size, raw in spans:
        if address <= rva < address + max(size, raw_size):
            return raw + rva - address
    raise ValueError("address %#x outside every section" % rva)


def imported_dlls(data, directories, spans):
    rva = struct.unpack_from("<I", data, directories + 8)[0]
    names = []
    if rva == 0:
        return names
    at = file_offset(spans, rva)
    while True:
        entry = struct.unpack_from("<IIIII", data, at)
        if entry == (0, 0, 0, 0, 0):
            return names
        name_at = file_offset(spans, entry[3])
        names.append(data[name_at:data.index(b"\0", name_at)].decode("ascii"))
        at += 20


def main():
    args = sys.argv[1:]
    fix = args and args[0] == "--fix-checksum"
    if fix:
        args = args[1:]
    if len(args) != 1:
        sys.exit("usage: driver_image.py [--fix-checksum] image.sys")
    path = args[0]
    data = bytearray(open(path, "rb").read())
    opt, directories, spans = headers(data)
    field = opt + 64
    if fix:
        struct.pack_into("<I", data, field, checksum(data, field))
        open(path, "wb").write(data)
    problems = []
    if struct.unpack_from("<H", data, opt + 68)[0] != 1:
        problems.append("subsystem is not native")
    if struct.unpack_from("<I", data, opt + 16)[0] == 0:
        problems.append("no entry point")
    if struct.unpack_from("<I", data, field)[0] != checksum(data, field):
        problems.append("wrong PE checksum")
    dlls = imported_dlls(data, directories, spans)
    for dll in dlls:
        if dll.lower() not in ALLOWED:
            problems.append("imports from %s" % dll)
    if "ntoskrnl.exe" not in [d.lower() for d in dlls]:
        problems.append("does not import ntoskrnl.exe")
    if problems:
        sys.exit("%s: %s" % (path, "; ".join(problems)))
    print("%s: native driver, imports %s, checksum %#x" % (path, ", ".join(dlls), checksum(data, field)))


main()
