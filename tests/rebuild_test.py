#!/usr/bin/env python3
"""The release packages rebuild byte for byte: the checkout's tracked files are copied to another
folder and packaged there from nothing, later, in another time zone and under another umask, and
the zip, the setup program and SHA256SUMS must come out as they lie in DIST.
usage: rebuild_test.py SOURCE DIST VERSION WORK"""
import io
import os
import shutil
import subprocess
import sys
import time
import zipfile


def first_differences(a, b, limit=4):
    offsets = [i for i in range(min(len(a), len(b))) if a[i] != b[i]][:limit]
    return "%d and %d bytes, first differing offsets %s" % (len(a), len(b), [hex(o) for o in offsets])


def main():
    source, dist, version, work = sys.argv[1:5]
    copy = os.path.join(work, "src")
    shutil.rmtree(work, ignore_errors=True)
    os.makedirs(copy)
    # What a fresh clone holds, as the checkout has it now: the first packages were built from that.
    files = subprocess.run(["git", "ls-files", "-z"], cwd=source, check=True, capture_output=True).stdout
    for name in files.decode().split("\0"):
        if name:
            os.makedirs(os.path.dirname(os.path.join(copy, name)), exist_ok=True)
            shutil.copy(os.path.join(source, name), os.path.join(copy, name))  # each file's time: now

    env = dict(os.environ, TZ="JST-9")  # another zone; the commit's time must win over the clock
    if not env.get("SOURCE_DATE_EPOCH"):
        env["SOURCE_DATE_EPOCH"] = subprocess.run(["git", "log", "-1", "--format=%ct"], cwd=source, check=True,
                                                  capture_output=True, text=True).stdout.strip()
    started = time.monotonic()
    with open(os.path.join(work, "package.log"), "w") as log:
        built = subprocess.run(["bash", "-c", "umask 077 && exec bash scripts/package.sh"], cwd=copy, env=env,
                               stdout=log, stderr=subprocess.STDOUT)
    print("the second build and packaging took %.0f s (log: %s/package.log)" % (time.monotonic() - started, work))
    if built.returncode != 0:
        print("FAIL: scripts/package.sh failed in %s" % copy)
        return 1

    failures = 0
    for name in ("qsoferry-%s-windows.zip" % version, "qsoferry-%s-setup.exe" % version, "SHA256SUMS"):
        with open(os.path.join(dist, name), "rb") as f:
            first = f.read()
        with open(os.path.join(copy, "dist", name), "rb") as f:
            second = f.read()
        if first == second:
            print("ok: %s rebuilds byte for byte" % name)
            continue
        failures += 1
        print("FAIL: %s differs: %s" % (name, first_differences(first, second)))
        if name.endswith(".zip"):  # name the program that differs, not only the zip
            with zipfile.ZipFile(io.BytesIO(first)) as a, zipfile.ZipFile(io.BytesIO(second)) as b:
                for info in a.infolist():
                    if info.filename in b.namelist() and a.read(info) != b.read(info.filename):
                        print("  %s: %s" % (info.filename, first_differences(a.read(info), b.read(info.filename))))
    print("%d failed" % failures)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
