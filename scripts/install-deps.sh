#!/usr/bin/env bash
# Installs the Debian packages the build and the tests need, where they are missing.
set -euo pipefail

packages=(
    cmake ninja-build g++ make
    # cpack's Debian packages: dpkg-shlibdeps finds the libraries the programs need.
    dpkg-dev
    googletest libgtest-dev libbenchmark-dev
    # The content hash of install records (XXH3-128), used from its header by both builds.
    libxxhash-dev
    clang libclang-rt-14-dev
    # The format check of the test command.
    clang-format
    # The kill test stops both programs at chosen system calls through strace's fault injection.
    strace
    # The Windows program: cross compiler, Wine (with its own fonts) and a virtual X display
    # with the tools to drive and photograph it.
    g++-mingw-w64-x86-64 wine64 fonts-wine xvfb xdotool imagemagick locales
)

# The locales the Wine tests start the program in. Wine takes the system language from the
# locale's name and the encoding of file names from the locale itself: without a generated
# UTF-8 locale, names such as Brücke.dat cannot be opened.
locales=(en_US.UTF-8 de_AT.UTF-8 de_DE.UTF-8)

missing=()
for package in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed"; then
        missing+=("$package")
    fi
done
missing_locales=()
for name in "${locales[@]}"; do
    # locale -a writes en_US.utf8 for en_US.UTF-8.
    if ! locale -a 2>/dev/null | grep -qix "${name%.UTF-8}.utf8"; then
        missing_locales+=("$name")
    fi
done
[ ${#missing[@]} -eq 0 ] && [ ${#missing_locales[@]} -eq 0 ] && exit 0

sudo=()
[ "$(id -u)" -eq 0 ] || sudo=(sudo)
if [ ${#missing[@]} -gt 0 ]; then
    echo "Installing: ${missing[*]}"
    export DEBIAN_FRONTEND=noninteractive
    "${sudo[@]}" apt-get update
    "${sudo[@]}" apt-get install -y --no-install-recommends "${missing[@]}"
fi
if [ ${#missing_locales[@]} -gt 0 ]; then
    echo "Generating locales: ${missing_locales[*]}"
    for name in "${missing_locales[@]}"; do
        echo "$name UTF-8" | "${sudo[@]}" tee -a /etc/locale.gen >/dev/null
    done
    "${sudo[@]}" locale-gen
fi
