#!/usr/bin/env bash
# Fails when a C++ source of src/, tests/, bench/ or fuzz/ differs from what clang-format (with
# the root's .clang-format) makes of it, and names each such file. Changes nothing.
set -euo pipefail
cd "$(dirname "$0")/.."

unclean=0
while IFS= read -r -d '' file; do
    if ! clang-format --dry-run --Werror "$file" >/dev/null 2>&1; then
        echo "not clang-format clean: $file"
        unclean=$((unclean + 1))
    fi
done < <(find src tests bench fuzz -type f \( -name '*.h' -o -name '*.cpp' \) -print0 | sort -z)
if ((unclean > 0)); then
    echo "$unclean file(s) differ; clang-format -i <file> formats one"
    exit 1
fi
