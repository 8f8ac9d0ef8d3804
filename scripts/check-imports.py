#!/usr/bin/env python3
"""Checks that a Windows binary loads on the oldest system it promises.

    check-imports.py BINARY TARGET

TARGET is win2000-x86 (the 32-bit build: Windows 2000 SP4, XP and later) or xp-x64 (the 64-bit build: Windows XP
x64, Server 2003 x64 and later). The binary passes when its processor is the target's, its subsystem is native,
GUI or console, its OS and subsystem version fields are no newer than the target, and every function it imports
(directly or delay-loaded) is exported by that DLL on the target. What each DLL exports is kept, with its source,
in scripts/exports/<dll>.txt. Prints every fault and exits with 1, or prints one line and exits with 0.
"""

import os
import struct
import sys

EXPORTS_DIR = os.path.join(os.path.dirname(os.path.abspath(__file__)), "exports")

# name, PE machine, newest version field, oldest version field, tags whose exports the target lacks
TARGETS = {
    "win2000-x86": ("Windows 2000 (x86)", 0x014C, (5, 0), (3, 10), {"xp", "vista", "x64"}),
    "xp-x64": ("Windows XP x64 / Server 2003 x64", 0x8664, (5, 2), (5, 2), {"vista", "x86"}),
}
SUBSYSTEMS = {1: "native", 2: "Windows GUI", 3: "Windows console"}


class PeError(Exception):
    pass


class Pe:
    def __init__(self, data):
        self.data = data
        if data[:2] != b"MZ" or len(data) < 0x40:
            raise PeError("not an MZ executable")
        (pe,) = struct.unpack_from("<I", data, 0x3C)
        if data[pe : pe + 4] != b"PE\0\0":
            raise PeError("no PE header")
        self.machine, sections, _, _, _, optional_size, _ = struct.unpack_from("<HHIIIHH", data, pe + 4)
        opt = pe + 24
        (magic,) = struct.unpack_from("<H", data, opt)
        if magic not in (0x10B, 0x20B):
            raise PeError("unknown optional header 0x%x" % magic)
        self.wide = magic == 0x20B
        self.os_version = struct.unpack_from("<HH", data, opt + 40)
        self.subsystem_version = struct.unpack_from("<HH", data, opt + 48)
        (self.subsystem,) = struct.unpack_from("<H", data, opt + 68)
        directories = opt + (112 if self.wide else 96)
        (count,) = struct.unpack_from("<I", data, directories - 4)
        self.directories = [struct.unpack_from("<II", data, directories + 8 * i) for i in range(min(count, 16))]
        table = opt + optional_size
        self.sections = []
        for i in range(sections):
            _, vsize, vaddr, rawsize, rawptr = struct.unpack_from("<8sIIII", data, table + 40 * i)
            self.sections.append((vaddr, max(vsize, rawsize), rawptr, rawsize))

    def offset(self, rva):
        for vaddr, size, rawptr, rawsize in self.sections:
            if vaddr <= rva < vaddr + size:
                if rva - vaddr >= rawsize:
                    raise PeError("RVA 0x%x lies outside the file" % rva)
                return rawptr + rva - vaddr
        raise PeError("RVA 0x%x in no section" % rva)

    def string(self, rva):
        start = self.offset(rva)
        end = self.data.index(b"\0", start)
        return self.data[start:end].decode("ascii", "replace")

    def thunks(self, rva):
        """The names (or '@ordinal') of one DLL's import lookup table."""
        size, fmt, flag = (8, "<Q", 1 << 63) if self.wide else (4, "<I", 1 << 31)
        pos = self.offset(rva)
        while True:
            (entry,) = struct.unpack_from(fmt, self.data, pos)
            if entry == 0:
                return
            yield "@%d" % (entry & 0xFFFF) if entry & flag else self.string((entry & 0x7FFFFFFF) + 2)
            pos += size

    def imports(self):
        """(dll, function) for every import, the delay-loaded ones included."""
        result = []
        if len(self.directories) > 1 and self.directories[1][0]:
            pos = self.offset(self.directories[1][0])
            while True:
                lookup, _, _, name, iat = struct.unpack_from("<IIIII", self.data, pos)
                if name == 0:
                    break
                dll = self.string(name)
                result += [(dll, f) for f in self.thunks(lookup or iat)]
                pos += 20
        if len(self.directories) > 13 and self.directories[13][0]:
            pos = self.offset(self.directories[13][0])
            while True:
                _, name, _, _, lookup, _, _, _ = struct.unpack_from("<8I", self.data, pos)
                if name == 0:
                    break
                dll = self.string(name)
                result += [(dll, f) for f in self.thunks(lookup)]
                pos += 32
        return result


def load_exports(dll, excluded_tags):
    """The functions the DLL exports on the target, or None when there is no list for it."""
    path = os.path.join(EXPORTS_DIR, dll.lower() + ".txt")
    if not os.path.exists(path):
        return None
    names = set()
    with open(path, encoding="utf-8") as f:
        for line in f:
            words = line.split("#", 1)[0].split()
            if words and not excluded_tags & set(words[1:]):
                names.add(words[0])
    return names


def check(path, target):
    """The faults of the binary for the target, as lines of text; empty when it passes."""
    system, machine, newest, oldest, excluded = TARGETS[target]
    with open(path, "rb") as f:
        pe = Pe(f.read())
    faults = []
    if pe.machine != machine:
        faults.append("processor 0x%04x, not the target's 0x%04x" % (pe.machine, machine))
    if pe.subsystem not in SUBSYSTEMS:
        faults.append("subsystem %d is not native, GUI or console" % pe.subsystem)
    for field, version in (("OS version", pe.os_version), ("subsystem version", pe.subsystem_version)):
        if version > newest:
            faults.append("%s %d.%d is newer than %s (%d.%d)" % ((field,) + version + (system,) + newest))
        elif version < oldest and field == "subsystem version":
            faults.append("%s %d.%d is older than %s accepts (%d.%d)" % ((field,) + version + (system,) + oldest))
    lists = {}
    for dll, function in pe.imports():
        key = dll.lower()
        if key not in lists:
            lists[key] = load_exports(dll, excluded)
            if lists[key] is None:
                faults.append("%s: no scripts/exports/%s.txt, so not known to be on %s" % (dll, dll.lower(), system))
        if lists[key] is not None and function not in lists[key]:
            faults.append("not on %s: %s %s" % (system, dll, function))
    return faults


def main(argv):
    if len(argv) != 3 or argv[2] not in TARGETS:
        sys.stderr.write("usage: check-imports.py BINARY {%s}\n" % ",".join(sorted(TARGETS)))
        return 2
    try:
        faults = check(argv[1], argv[2])
    except (OSError, PeError, struct.error, ValueError) as error:
        print("%s: cannot read: %s" % (argv[1], error))
        return 1
    name = os.path.basename(argv[1])
    for fault in faults:
        print("%s: %s" % (name, fault))
    if faults:
        return 1
    print("%s: loads on %s" % (name, TARGETS[argv[2]][0]))
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
