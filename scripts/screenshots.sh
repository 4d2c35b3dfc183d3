#!/usr/bin/env bash
# Refreshes the README's pictures in docs/screenshots: runs the 64-bit program under Wine in the
# scenarios that take them (the test run keeps its own under build/). Build first (scripts/test.sh).
set -euo pipefail
cd "$(dirname "$0")/.."
state=$(mktemp -u)
export QSOFERRY_WIN_BIN=${QSOFERRY_WIN_BIN:-$PWD/build/windows-x64}
export QSOFERRY_SCREENSHOTS=$PWD/docs/screenshots
python3 tests/e2e/driver.py setup "$state"
trap 'python3 tests/e2e/driver.py cleanup "$state"' EXIT
for scenario in delivery lamps window sent_copy relayed_contacts tray; do
    python3 tests/e2e/driver.py run "$state" "$scenario"
done
