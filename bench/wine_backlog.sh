#!/usr/bin/env bash
# How long a backlog of N held contacts (10000 unless given) takes to reach a stand-in logger, with
# the real 64-bit program under Wine. Prints "backlog: N contacts in S s".
set -euo pipefail
cd "$(dirname "$0")/.."
state=$(mktemp -u)
QSOFERRY_WIN_BIN=${QSOFERRY_WIN_BIN:-$PWD/build/windows-x64} python3 tests/e2e/driver.py backlog "$state" "${1:-10000}"
