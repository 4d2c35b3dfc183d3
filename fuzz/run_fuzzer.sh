#!/usr/bin/env bash
# Runs one fuzz target for a bounded time from the seed inputs, in a corpus folder of its own.
# A dictionary beside this script named like the target (log_reader_fuzz: log_reader.dict) is used.
# usage: run_fuzzer.sh FUZZER SECONDS SEED_DIR...
set -euo pipefail
fuzzer=$1
seconds=$2
shift 2
corpus=$(mktemp -d)
trap 'rm -rf "$corpus"' EXIT
for seeds in "$@"; do cp "$seeds"/* "$corpus"/ 2>/dev/null || true; done
dictionary=()
dict="$(dirname "$0")/$(basename "$fuzzer" _fuzz).dict"
[ -f "$dict" ] && dictionary=(-dict="$dict")
"$fuzzer" "${dictionary[@]}" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=1024 -print_final_stats=1 \
    -artifact_prefix="${TMPDIR:-/tmp}/$(basename "$fuzzer")-" "$corpus" 2>&1 | tail -12
