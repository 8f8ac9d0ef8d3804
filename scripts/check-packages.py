#!/usr/bin/env python3
"""Builds the release packages with CPack and checks what is in them.

The Windows zip (from build/win32, with build/win64's pair in x64/), the Debian package and the tarball (from
build/native): every file in place, the programs and drivers of the right processor, the version in every package
name and in the Windows version resource, the manual page rendering without warnings and naming every command of
`korvane --help`, and the .deb unpacked into a scratch root running `korvane --version`.
Usage: scripts/check-packages.py [ROOT]   (ROOT: the source tree, default this script's parent)
"""
import re
import struct
import subprocess
import sys
import tarfile
import tempfile
import zipfile
from pathlib import Path

ROOT = Path(sys.argv[1] if len(sys.argv) > 1 else Path(__file__).resolve().parent.parent)
PE_MACHINE = {"i386": 0x14C, "x86-64": 0x8664}
failures = []


def check(condition, what):
    print(("ok    " if condition else "FAIL  ") + what)
    if not condition:
        failures.append(what)
    return condition


def run(args, **kw):
    return subprocess.run(args, capture_output=True, text=True, **kw)


def project_version():
    text = (ROOT / "CMakeLists.txt").read_text()
    return re.search(r"project\(Korvane VERSION ([0-9.]+)", text).group(1)


def cpack(build, *extra):
    subprocess.run(["cmake", str(build), *extra], check=True, stdout=subprocess.DEVNULL)
    out = build / "packages"
    result = run(["cpack", "-B", str(out)], cwd=build)
    if not check(result.returncode == 0, f"cpack in {build.name}"):
        print(result.stdout[-3000:], result.stderr[-3000:])
    return out


def pe_machine(data):
    if data[:2] != b"MZ":
        return None
    offset = struct.unpack_from("<I", data, 0x3C)[0]
    if data[offset:offset + 4] != b"PE\0\0":
        return None
    return struct.unpack_from("<H", data, offset + 4)[0]


def check_windows_zip(version):
    out = cpack(ROOT / "build/win32", f"-DKORVANE_X64_DIR={ROOT / 'build/win64'}")
    path = out / f"Korvane-{version}-windows.zip"
    if not check(path.is_file(), f"{path.name} built"):
        return
    top = f"Korvane-{version}-windows/"
    with zipfile.ZipFile(path) as z:
        names = set(z.namelist())
        for name in ["LICENSE", "THIRD-PARTY.md", "user-guide.md", "user-guide.zh.md", "SysFile/README.txt",
                     "images/confirm-zh.png"]:
            check(top + name in names, f"zip holds {name}")
        check(not any(n.startswith(top + "SysFile/") and not n.endswith(("/", "README.txt")) for n in names),
              "zip's SysFile folder holds no DOS file")
        for folder, arch in (("", "i386"), ("x64/", "x86-64")):
            for binary in ("Korvane.exe", "Dunmarle.sys"):
                name = top + folder + binary
                if check(name in names, f"zip holds {folder}{binary}"):
                    check(pe_machine(z.read(name)) == PE_MACHINE[arch], f"{folder}{binary} is {arch}")
        for folder in ("", "x64/"):
            exe = z.read(top + folder + "Korvane.exe") if top + folder + "Korvane.exe" in names else b""
            check(f"{version}".encode("utf-16-le") in exe, f"{folder}Korvane.exe's version resource says {version}")


def check_man_page(page, help_text):
    env = {"MANWIDTH": "100", "LANG": "C.UTF-8", "PATH": "/usr/bin:/bin"}
    result = run(["man", "--warnings", "-l", str(page)], env=env)
    check(result.returncode == 0 and "KORVANE(1)" in result.stdout and not result.stderr.strip(),
          "manual page renders with man -l, without warnings" + (": " + result.stderr[:300] if result.stderr else ""))
    rendered = re.sub(r"\s+", " ", result.stdout.replace("\u2010", "-"))
    commands = re.findall(r"^  ((?:blocks \w+|blocks ls\|put\|get\|rm\|mkdir\|rmdir|files|floppy|format|list|info))\b",
                          help_text, re.M)
    check(len(commands) >= 9, "korvane --help lists its commands")
    for command in commands:
        check(command in rendered, f"manual page describes '{command}'")


def check_linux_packages(version):
    out = cpack(ROOT / "build/native")
    debs = sorted(out.glob(f"korvane_{version}_*.deb"))
    tgz = sorted(out.glob(f"korvane-{version}-linux-*.tar.gz"))
    check(len(debs) == 1, f"korvane_{version}_ARCH.deb built")
    check(len(tgz) == 1, f"korvane-{version}-linux-ARCH.tar.gz built")
    wanted = ["usr/bin/korvane", "usr/share/man/man1/korvane.1", "usr/share/bash-completion/completions/korvane",
              "usr/share/doc/korvane/copyright", "usr/share/doc/korvane/THIRD-PARTY.md",
              "usr/share/doc/korvane/user-guide.md", "usr/share/doc/korvane/user-guide.zh.md",
              "usr/share/doc/korvane/images/confirm-en.png"]
    if debs:
        with tempfile.TemporaryDirectory() as scratch:
            check(run(["dpkg-deb", "-x", str(debs[0]), scratch]).returncode == 0, "the .deb unpacks into a scratch root")
            for name in wanted:
                check((Path(scratch) / name).is_file(), f".deb holds /{name}")
            info = run(["dpkg-deb", "-f", str(debs[0]), "Version", "Depends"]).stdout
            check(f"Version: {version}" in info and "libc6" in info, ".deb's control names its version and libc6")
            korvane = Path(scratch) / "usr/bin/korvane"
            result = run([str(korvane), "--version"])
            check(result.returncode == 0 and result.stdout.strip() == f"korvane {version}",
                  f"the unpacked korvane --version says 'korvane {version}'")
            help_text = run([str(korvane), "--help"]).stdout
            check_man_page(Path(scratch) / "usr/share/man/man1/korvane.1", help_text)
            completion = run(["bash", "-n", str(Path(scratch) / wanted[2])])
            check(completion.returncode == 0, "bash completion parses")
    if tgz:
        with tarfile.open(tgz[0]) as t:
            names = {n.split("/", 1)[1] for n in t.getnames() if "/" in n}
        for name in wanted:
            name = name.replace("usr/", "", 1)
            check(name in names, f"tarball holds {name}")


def main():
    version = project_version()
    check_linux_packages(version)
    check_windows_zip(version)
    print(f"packages: {len(failures)} check(s) failed" if failures else "packages: all checks passed")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
