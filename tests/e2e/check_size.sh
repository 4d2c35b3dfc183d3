#!/usr/bin/env bash
# qsoferry.exe stays small. It is linked statically, so it carries whatever it uses of the C++
# library: one string stream brings in iostreams and their locales, and trebles it (340 KB to 1.1 MB).
set -u
dir=$1
limit=$((600 * 1024))
exe=$dir/qsoferry.exe
[ -f "$exe" ] || { echo "missing: $exe"; exit 1; }
size=$(stat -c %s "$exe")
echo "qsoferry.exe: $size bytes, at most $limit"
[ "$size" -le "$limit" ]
