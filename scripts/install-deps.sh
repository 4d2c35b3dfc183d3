#!/usr/bin/env bash
# Installs, from Debian's packages, whatever of the build and test tools is missing.
set -euo pipefail
packages=(
    cmake ninja-build g++ googletest libgtest-dev libbenchmark-dev                # native build and unit tests
    clang libclang-rt-dev                                                          # fuzzing (libFuzzer, sanitizers)
    g++-mingw-w64-x86-64-posix g++-mingw-w64-i686-posix binutils-mingw-w64        # Windows cross builds
    wine64 fonts-wine xvfb xauth xdotool imagemagick python3                       # the program under Wine
)
missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
    echo "installing: ${missing[*]}"
    sudo_cmd=""
    [ "$(id -u)" -eq 0 ] || sudo_cmd="sudo"
    export DEBIAN_FRONTEND=noninteractive
    $sudo_cmd apt-get update -q
    $sudo_cmd apt-get install -y -q "${missing[@]}"
fi
