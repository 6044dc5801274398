#!/usr/bin/env bash
# Builds optimised and prints every benchmark's figures beside the baselines measured in the
# same run. Working files go to $TMPDIR (default /tmp).
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh
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
