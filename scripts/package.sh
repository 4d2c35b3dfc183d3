#!/usr/bin/env bash
# Builds the release packages into dist/, the version taken from the CMake project:
#   qsoferry-<version>-windows.zip   x64/qsoferry.exe, x86/qsoferry.exe, qsoferry-preview.exe, README.txt
#   qsoferry-<version>-setup.exe     the setup program (NSIS)
#   SHA256SUMS                       the two packages' SHA-256
# The same commit packaged again, in any folder at any time, gives the same bytes (README,
# "Rebuilding a release"). Outside a git checkout, name the commit's time: SOURCE_DATE_EPOCH=<seconds>.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
if [ -z "${SOURCE_DATE_EPOCH:-}" ]; then
    SOURCE_DATE_EPOCH=$(git log -1 --format=%ct 2>/dev/null) || {
        echo "package.sh: not a git checkout: set SOURCE_DATE_EPOCH to the commit's time (git log -1 --format=%ct)" >&2
        exit 1
    }
fi
export SOURCE_DATE_EPOCH  # read by cmake/windows.cmake for the PE headers
if [ -n "$(git status --porcelain --untracked-files=no 2>/dev/null)" ]; then
    echo "package.sh: uncommitted changes: these packages rebuild from no commit" >&2
fi
for preset in windows-x64 windows-x86; do
    cmake --preset "$preset" > /dev/null
    cmake --build --preset "$preset" --target qsoferry qsoferry-preview
done
version=$(sed -n 's/^project(qsoferry VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
stage=$(mktemp -d)
trap 'rm -rf "$stage"' EXIT
mkdir -p dist "$stage/x64" "$stage/x86"
cp build/windows-x64/qsoferry.exe "$stage/x64/"
cp build/windows-x86/qsoferry.exe "$stage/x86/"
cp build/windows-x86/qsoferry-preview.exe "$stage/"  # the 32-bit one runs on every Windows
python3 scripts/readme_txt.py README.md "$stage/README.txt"
# The setup program keeps each file's time and sets it at install (NSIS's SetDateSave, on by default).
find "$stage" -exec touch -h -d "@$SOURCE_DATE_EPOCH" {} +

zip="dist/qsoferry-$version-windows.zip"
rm -f "$zip"
python3 - "$stage" "$zip" "$SOURCE_DATE_EPOCH" <<'PY'
import os, sys, time, zipfile
stage, out, epoch = sys.argv[1], sys.argv[2], int(sys.argv[3])
# Entries in a fixed order, with the commit's time (UTC: a zip stores no zone) and fixed modes.
with zipfile.ZipFile(out, "w") as z:
    for name in ("x64/qsoferry.exe", "x86/qsoferry.exe", "qsoferry-preview.exe", "README.txt"):
        info = zipfile.ZipInfo(name, time.gmtime(epoch)[:6])
        info.compress_type = zipfile.ZIP_DEFLATED
        info.create_system = 3
        info.external_attr = 0o100644 << 16
        with open(os.path.join(stage, name), "rb") as f:
            z.writestr(info, f.read())
PY
makensis -V2 -DVERSION="$version" -DSTAGE="$stage" -DOUTFILE="$PWD/dist/qsoferry-$version-setup.exe" \
    installer/qsoferry.nsi
(cd dist && sha256sum "qsoferry-$version-windows.zip" "qsoferry-$version-setup.exe" > SHA256SUMS)
ls -l dist/qsoferry-"$version"-* dist/SHA256SUMS
# The same setup program built for x86-64, never released: the Wine tests install with it on a
# machine that runs no 32-bit program (the release's setup program is 32-bit, to run everywhere).
mkdir -p build/setup-x64
makensis -V1 "-XTarget amd64-unicode" -DVERSION="$version" -DSTAGE="$stage" \
    -DOUTFILE="$PWD/build/setup-x64/qsoferry-$version-setup-x64.exe" installer/qsoferry.nsi
