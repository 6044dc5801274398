#!/usr/bin/env bash
# Installs the Debian packages the build and the tests need, where they are missing.
set -euo pipefail

packages=(
    cmake ninja-build g++ make
    googletest libgtest-dev libbenchmark-dev
    clang libclang-rt-14-dev
    # The Windows program: cross compiler, Wine (with its own fonts) and a virtual X display
    # with the tools to drive and photograph it.
    g++-mingw-w64-x86-64 wine64 fonts-wine xvfb xdotool imagemagick
)

missing=()
for package in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed"; then
        missing+=("$package")
    fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing: ${missing[*]}"
sudo=()
[ "$(id -u)" -eq 0 ] || sudo=(sudo)
export DEBIAN_FRONTEND=noninteractive
"${sudo[@]}" apt-get update
"${sudo[@]}" apt-get install -y --no-install-recommends "${missing[@]}"
