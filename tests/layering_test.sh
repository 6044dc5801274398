#!/usr/bin/env bash
# The layering check catches what it is there to catch: in a scratch copy of the sources, each
# include below breaks one rule, and the check must fail and name the file; the copy as it is
# must pass.
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
root="$1"
scratch="$(mktemp -d)"
trap 'rm -rf "$scratch"' EXIT
cp -r "$root/src" "$root/tests" "$root/bench" "$root/fuzz" "$scratch/"
check() { bash "$here/layering.sh" "$scratch/src" "$scratch/tests" "$scratch/bench" "$scratch/fuzz"; }

if ! output="$(check)"; then
    echo "the unchanged copy fails the check:"
    echo "$output"
    exit 1
fi

failures=0
# file (below the scratch copy) | the bad line
while IFS='|' read -r file line; do
    [[ -n "$file" ]] || continue
    cp "$scratch/$file" "$scratch/$file.kept"
    printf '%s\n' "$line" >>"$scratch/$file"
    if output="$(check)"; then
        echo "not caught: $line in $file"
        failures=$((failures + 1))
    elif [[ "$output" != *"${file#*/}"* ]]; then
        echo "caught without naming $file: $output"
        failures=$((failures + 1))
    fi
    mv "$scratch/$file.kept" "$scratch/$file"
done <<'CASES'
src/files/install_files.cpp|#include "platform/posix/posix_files.h"
src/install/installer.cpp|#include "platform/doubles/memory_registry.h"
src/check/checker.cpp|#include "app/exit_codes.h"
src/platform/files.h|#include "platform/win32/windows_support.h"
src/textures/texture_catalog.cpp|#include "install/installer.h"
src/app/posix/main.cpp|#include "platform/win32/win32_files.h"
src/app/exit_codes.h|#include "platform/posix/posix_files.h"
src/platform/posix/posix_files.cpp|#include "platform/doubles/memory_registry.h"
src/names/windows_path.cpp|#include <Windows.h>
src/app/posix/terminal_dialog.cpp|#include <windows.h>
tests/support/temp_dir.cpp|#include <windows.h>
bench/bench_textures.cpp|  #  include <commctrl.h>
CASES

mkdir "$scratch/src/stray"
echo '#include "names/windows_path.h"' >"$scratch/src/stray/stray.cpp"
if check >/dev/null; then
    echo "not caught: a folder the layering does not know"
    failures=$((failures + 1))
fi
exit $((failures > 0))
