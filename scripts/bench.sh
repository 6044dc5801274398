#!/usr/bin/env bash
# Builds optimised and prints every benchmark's figures beside the baselines measured in the
# same run. Working files go to $TMPDIR (default /tmp).
#
# Usage: scripts/bench.sh [wine]   ("wine": only the Wine benchmark, Kolvane.exe against NSIS)
set -euo pipefail
cd "$(dirname "$0")/.."

if [ $# -gt 1 ] || { [ $# -eq 1 ] && [ "$1" != wine ]; }; then
    echo "usage: $0 [wine]" >&2
    exit 2
fi

scripts/install-deps.sh
# The Wine benchmark builds its NSIS installers with Debian's makensis.
if ! dpkg-query -W -f='${Status}' nsis 2>/dev/null | grep -q "install ok installed"; then
    sudo=()
    [ "$(id -u)" -eq 0 ] || sudo=(sudo)
    echo "Installing: nsis"
    export DEBIAN_FRONTEND=noninteractive
    "${sudo[@]}" apt-get update
    "${sudo[@]}" apt-get install -y --no-install-recommends nsis
fi

# Kolvane.exe as the "windows" preset builds it, with the Wine benchmark's own Windows programs.
bench_wine() {
    cmake --preset windows -DKOLVANE_BUILD_BENCHMARKS=ON >/dev/null
    cmake --build --preset windows -j2 --target Kolvane bench_prompt_driver bench_minimal_dialog \
        >/dev/null
    bench/bench_wine.sh build/windows
}
if [ $# -eq 1 ]; then
    bench_wine
    exit 0
fi

cmake --preset release >/dev/null
cmake --build --preset release >/dev/null

bin=build/release/bench
"$bin"/bench_script_reader
echo
"$bin"/bench_command_line
echo
"$bin"/bench_textures
echo
"$bin"/bench_prefix_search
echo
"$bin"/bench_file_section build/release/kolvane

echo
"$bin"/bench_deep_paths

echo
bench_wine
