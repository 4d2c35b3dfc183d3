#!/usr/bin/env python3
"""The release packages: the zip holds both programs (x86-64 and i386, read from their headers), the
preview tool and the operator's readme with Windows line ends; the setup program is a 32-bit one.
Everything carries the commit's time, not the build's, and SHA256SUMS names both packages.
usage: package_test.py DIST VERSION SOURCE"""
import hashlib
import os
import subprocess
import sys
import time
import zipfile

X86_64, I386 = 0x8664, 0x14C


def machine(data):
    pe = int.from_bytes(data[0x3C:0x40], "little")
    if data[:2] != b"MZ" or data[pe:pe + 4] != b"PE\0\0":
        return None
    return int.from_bytes(data[pe + 4:pe + 6], "little")


def time_stamp(data):
    pe = int.from_bytes(data[0x3C:0x40], "little")
    return int.from_bytes(data[pe + 8:pe + 12], "little")


def main():
    dist, version, source = sys.argv[1], sys.argv[2], sys.argv[3]
    epoch = int(os.environ.get("SOURCE_DATE_EPOCH") or subprocess.run(
        ["git", "log", "-1", "--format=%ct"], cwd=source, check=True, capture_output=True, text=True).stdout)
    utc = time.gmtime(epoch)
    zip_time = (*utc[:5], utc.tm_sec // 2 * 2)  # a zip keeps even seconds
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
        for name in ("x64/qsoferry.exe", "x86/qsoferry.exe", "qsoferry-preview.exe"):
            check(time_stamp(z.read(name)) == epoch,
                  "%s's PE header has the commit's time %d: %d" % (name, epoch, time_stamp(z.read(name))))
        times = {i.filename: i.date_time for i in z.infolist()}
        check(set(times.values()) == {zip_time}, "every entry has the commit's time %s: %s" % (zip_time, times))
        readme = z.read("README.txt")
        check(readme.count(b"\n") > 50 and readme.count(b"\n") == readme.count(b"\r\n"),
              "README.txt has Windows line ends only")
        check(b"Troubleshooting" in readme and b"Building and testing" not in readme,
              "README.txt is the operator's part, troubleshooting included")
        check(readme.startswith(b"\xef\xbb\xbf") and "Ковалёв" in readme.decode("utf-8-sig"),
              "README.txt is UTF-8 with a byte-order mark, so Notepad shows every script")
    with open(os.path.join(dist, "qsoferry-%s-setup.exe" % version), "rb") as f:
        check(machine(f.read(4096)) == I386, "the setup program is a 32-bit program")
    sums = {}
    for package in ("qsoferry-%s-windows.zip" % version, "qsoferry-%s-setup.exe" % version):
        with open(os.path.join(dist, package), "rb") as f:
            sums[package] = hashlib.sha256(f.read()).hexdigest()
    with open(os.path.join(dist, "SHA256SUMS")) as f:
        listed = dict(reversed(line.split()) for line in f if line.strip())
    check(listed == sums, "SHA256SUMS lists both packages with their SHA-256: %s" % listed)
    print("%d failed" % failures)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
