#!/usr/bin/env bash
# The test run leaves the checkout as it found it: `before` notes what git says at the start,
# `after` fails when the run changed anything, tracked or not (ignored files aside).
set -euo pipefail
what=$1 source=$2 note=$3
if ! git -C "$source" rev-parse --is-inside-work-tree > /dev/null 2>&1; then
    echo "not a git checkout: nothing to compare"
    exit 0
fi
status() { git -C "$source" status --porcelain --untracked-files=all; }
if [ "$what" = before ]; then
    status > "$note"
    exit 0
fi
if ! diff <(cat "$note") <(status); then
    echo "the test run changed the checkout (lines with > are new)"
    exit 1
fi
echo "the checkout is as the run found it"
