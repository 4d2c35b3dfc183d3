#!/usr/bin/env bash
# Every .exe of a Windows build imports only DLLs that come with Windows itself.
set -u
dir=$1
allowed=" ADVAPI32.DLL COMCTL32.DLL COMDLG32.DLL GDI32.DLL KERNEL32.DLL MSVCRT.DLL OLE32.DLL SHELL32.DLL USER32.DLL "
objdump=$(command -v x86_64-w64-mingw32-objdump || command -v objdump)
status=0
found=0
for exe in "$dir"/qsoferry.exe "$dir"/qsoferry-preview.exe; do
    [ -f "$exe" ] || { echo "missing: $exe"; status=1; continue; }
    found=$((found + 1))
    dlls=$("$objdump" -p "$exe" | awk '/DLL Name/ {print $3}')
    echo "$(basename "$exe"): $(echo $dlls)"
    for dll in $dlls; do
        case "$allowed" in *" ${dll^^} "*) ;; *) echo "not a Windows system DLL: $dll"; status=1 ;; esac
    done
done
[ "$found" -gt 0 ] || status=1
exit $status
