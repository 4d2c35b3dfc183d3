#!/usr/bin/env bash
# The preview tool's contract: what it prints, its exit codes, and that it never changes the file.
# usage: preview_cli_test.sh PREVIEW SAMPLES_DIR
set -u
preview=$1
samples=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0
check() {  # check WHAT EXPECTED ACTUAL
    if [ "$2" != "$3" ]; then
        echo "FAIL: $1"; echo "  expected: $2"; echo "  actual:   $3"; failures=$((failures + 1))
    else
        echo "ok: $1"
    fi
}

cp "$samples/wsjtx_log.adi" "$work/log.adi"
before=$(sha256sum < "$work/log.adi")
"$preview" "$work/log.adi" > "$work/out" 2> "$work/err"
check "decoder log: exit 0" 0 $?
check "decoder log: one record per contact" "$(cat "$samples/wsjtx_log.expected")" "$(cat "$work/out")"
check "decoder log: nothing on stderr" "" "$(cat "$work/err")"
check "the file is left as it was" "$before" "$(sha256sum < "$work/log.adi")"
check "no claimed copy is left beside it" "log.adi" "$(ls "$work" | grep log.adi | tr '\n' ' ' | sed 's/ $//')"

"$preview" --no-freq "$work/log.adi" > "$work/out"
check "--no-freq: exit 0" 0 $?
check "--no-freq: position 4 empty" "DL1ABC#-12#-10##Hans#FT8#JO62##RSTS -10  RSTR -12   tnx for qso####RSTS -10#RSTR -12#100#" "$(head -1 "$work/out")"

# A file named like the bridge's claim beside the log must not be read as one.
cp "$samples/wsjtx_log.adi" "$work/log.adi.qsoferry"
"$preview" "$work/log.adi" > "$work/out"
check "a stray claim file is ignored" 3 "$(wc -l < "$work/out")"

# A line longer than the reader's buffer is read twice: the file is read again from the line's start.
{ printf 'h<eoh>\n<call:2>K1 <comment:1>'; head -c 200000 /dev/zero | tr '\0' x; printf ' <eor><call:2>K2 <eor>\n<call:2>K3 <eor>\n'; } \
    > "$work/long.adi"
"$preview" "$work/long.adi" > "$work/out"
check "a line longer than the buffer: every contact, in order" \
    "K1########RSTS   RSTR    $(printf 'x%.0s' $(seq 50))####RSTS #RSTR ## K2 K3" \
    "$(head -1 "$work/out") $(tail -n +2 "$work/out" | cut -d'#' -f1 | tr '\n' ' ' | sed 's/ $//')"

"$preview" "$samples/empty.adi" > "$work/out" 2> "$work/err"
check "empty file: exit 1" 1 $?
check "empty file: message" "The source file is empty" "$(cat "$work/err")"
check "empty file: nothing on stdout" 0 "$(wc -c < "$work/out")"

"$preview" "$work/does-not-exist.adi" > "$work/out" 2> "$work/err"
check "missing file: exit 2" 2 $?
grep -q "No such file" "$work/err"; check "missing file: says why" 0 $?

"$preview" > /dev/null 2>&1; check "no argument: exit 64" 64 $?
"$preview" --bogus x > /dev/null 2>&1; check "unknown option: exit 64" 64 $?
"$preview" a b > /dev/null 2>&1; check "two files: exit 64" 64 $?

echo "$failures failed"
[ "$failures" -eq 0 ]
