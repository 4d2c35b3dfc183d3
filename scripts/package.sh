#!/usr/bin/env bash
# Builds the release packages into dist/, the version taken from the CMake project:
#   qsoferry-<version>-windows.zip   x64/qsoferry.exe, x86/qsoferry.exe, qsoferry-preview.exe, README.txt
#   qsoferry-<version>-setup.exe     the setup program (NSIS)
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
for preset in windows-x64 windows-x86; do
    cmake --preset "$preset" > /dev/null
    cmake --build --preset "$preset"
done
version=$(sed -n 's/^project(qsoferry VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
stage=$(mktemp -d)
trap 'rm -rf "$stage"' EXIT
mkdir -p dist "$stage/x64" "$stage/x86"
cp build/windows-x64/qsoferry.exe "$stage/x64/"
cp build/windows-x86/qsoferry.exe "$stage/x86/"
cp build/windows-x86/qsoferry-preview.exe "$stage/"  # the 32-bit one runs on every Windows
python3 scripts/readme_txt.py README.md "$stage/README.txt"

zip="dist/qsoferry-$version-windows.zip"
rm -f "$zip"
python3 - "$stage" "$zip" <<'PY'
import os, sys, zipfile
stage, out = sys.argv[1], sys.argv[2]
with zipfile.ZipFile(out, "w", zipfile.ZIP_DEFLATED) as z:
    for name in ("x64/qsoferry.exe", "x86/qsoferry.exe", "qsoferry-preview.exe", "README.txt"):
        z.write(os.path.join(stage, name), name)
PY
makensis -V2 -DVERSION="$version" -DSTAGE="$stage" -DOUTFILE="$PWD/dist/qsoferry-$version-setup.exe" \
    installer/qsoferry.nsi
ls -l dist/qsoferry-"$version"-*
# The same setup program built for x86-64, never released: the Wine tests install with it on a
# machine that runs no 32-bit program (the release's setup program is 32-bit, to run everywhere).
mkdir -p build/setup-x64
makensis -V1 "-XTarget amd64-unicode" -DVERSION="$version" -DSTAGE="$stage" \
    -DOUTFILE="$PWD/build/setup-x64/qsoferry-$version-setup-x64.exe" installer/qsoferry.nsi
