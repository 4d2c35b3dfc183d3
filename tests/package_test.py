#!/usr/bin/env python3
"""The release packages: the zip holds both programs (x86-64 and i386, read from their headers), the
preview tool and the operator's readme with Windows line ends; the setup program is a 32-bit one.
usage: package_test.py DIST VERSION"""
import os
import sys
import zipfile

X86_64, I386 = 0x8664, 0x14C


def machine(data):
    pe = int.from_bytes(data[0x3C:0x40], "little")
    if data[:2] != b"MZ" or data[pe:pe + 4] != b"PE\0\0":
        return None
    return int.from_bytes(data[pe + 4:pe + 6], "little")


def main():
    dist, version = sys.argv[1], sys.argv[2]
    failures = 0

    def check(ok, what):
        nonlocal failures
        print(("ok: " if ok else "FAIL: ") + what)
        failures += 0 if ok else 1

    with zipfile.ZipFile(os.path.join(dist, "qsoferry-%s-windows.zip" % version)) as z:
        names = sorted(z.namelist())
        check(names == sorted(["x64/qsoferry.exe", "x86/qsoferry.exe", "qsoferry-preview.exe", "README.txt"]),
              "the zip holds the two programs, the preview tool and the readme: %s" % names)
        check(machine(z.read("x64/qsoferry.exe")) == X86_64, "x64/qsoferry.exe is an x86-64 program")
        check(machine(z.read("x86/qsoferry.exe")) == I386, "x86/qsoferry.exe is an i386 program")
        check(machine(z.read("qsoferry-preview.exe")) == I386, "the preview tool runs on every Windows (i386)")
        readme = z.read("README.txt")
        check(readme.count(b"\n") > 50 and readme.count(b"\n") == readme.count(b"\r\n"),
              "README.txt has Windows line ends only")
        check(b"Troubleshooting" in readme and b"Building and testing" not in readme,
              "README.txt is the operator's part, troubleshooting included")
        check(readme.startswith(b"\xef\xbb\xbf") and "Ковалёв" in readme.decode("utf-8-sig"),
              "README.txt is UTF-8 with a byte-order mark, so Notepad shows every script")
    with open(os.path.join(dist, "qsoferry-%s-setup.exe" % version), "rb") as f:
        check(machine(f.read(4096)) == I386, "the setup program is a 32-bit program")
    print("%d failed" % failures)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
