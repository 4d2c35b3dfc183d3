#!/usr/bin/env bash
# Installs, from Debian's packages, whatever of the build and test tools is missing.
set -euo pipefail
packages=(
    cmake ninja-build g++ googletest libgtest-dev libbenchmark-dev                # native build and unit tests
    clang libclang-rt-dev                                                          # fuzzing (libFuzzer, sanitizers)
    g++-mingw-w64-x86-64-posix g++-mingw-w64-i686-posix binutils-mingw-w64        # Windows cross builds
    wine64 fonts-wine xvfb xauth xdotool imagemagick python3                       # the program under Wine
    nsis                                                                           # the setup program
    locales                                                                        # Western and Japanese systems under Wine
)
# 32-bit Windows programs (the i686 build, the 32-bit stand-ins) run under wine64 with Debian's
# wine32 from the i386 architecture beside it.
sudo_cmd=""
[ "$(id -u)" -eq 0 ] || sudo_cmd="sudo"
export DEBIAN_FRONTEND=noninteractive
updated=0
if ! dpkg --print-foreign-architectures | grep -qx i386; then
    $sudo_cmd dpkg --add-architecture i386
    $sudo_cmd apt-get update -q
    updated=1
fi
packages+=(wine32:i386)

missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
    echo "installing: ${missing[*]}"
    [ "$updated" -eq 1 ] || $sudo_cmd apt-get update -q
    $sudo_cmd apt-get install -y -q "${missing[@]}"
fi
# Wine takes the system's code page from the locale (en_US.UTF-8: 1252, ja_JP.UTF-8: 932) and names
# Unix files through it; a locale that does not exist silently gives 1252 and garbled names.
for locale in en_US ja_JP; do
    locale -a | grep -qix "$locale.utf-\?8" || $sudo_cmd localedef -i "$locale" -f UTF-8 "$locale.UTF-8"
done
