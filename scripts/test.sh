#!/usr/bin/env bash
# Builds everything (Linux core and tools, Windows x86-64 and i686, the fuzz targets, the release
# packages) and runs every test: the unit tests (also under AddressSanitizer and UBSan), the
# preview tool's contract, a minute of fuzzing each, the packages (made a second time from a copy of
# the checkout, byte for byte the same), the import check of both Windows builds, and both programs
# under Wine, the setup program included. Ends with ctest's summary.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
for preset in windows-x64 windows-x86 fuzz native-asan native-e2e; do
    cmake --preset "$preset" > /dev/null
    cmake --build --preset "$preset"
done
ctest --preset native-asan
bash scripts/package.sh
ctest --preset native-e2e
