#!/usr/bin/env bash
# Each folder of src/ includes only what lies below it: app -> install -> (files, textures) ->
# (script, messages, names) -> platform interfaces; check beside install; each platform's seams
# (platform/posix, platform/win32) and the test doubles (platform/doubles) only above the
# interfaces, and only the programs of that platform (app/posix, app/win32) above them. An include
# is judged by its whole folder ("platform/posix/x.h" lies in platform/posix, not in platform).
# The Windows headers (<windows.h>, <commctrl.h>) are included only in platform/win32 and
# app/win32; everything else, tests and benchmarks of the Win32 seams too, reaches them through
# platform/win32/windows_support.h. Prints every include that breaks a rule and fails if one does.
#
# Usage: layering.sh SRC [OTHER...]: the folder rules apply to SRC; the rule of the Windows
# headers applies to the OTHER folders (tests, benchmarks, fuzz targets) too.
set -euo pipefail
src="$1"
shift
core="names platform script messages files textures install check"
declare -A allowed=(
    [names]="names"
    [platform]="platform names"
    [platform/doubles]="platform/doubles platform names"
    [platform/posix]="platform/posix platform names"
    [platform/win32]="platform/win32 platform names"
    [script]="script platform names"
    [messages]="messages platform"
    [files]="files script messages names platform"
    [textures]="textures script names platform"
    [install]="install files textures script messages names platform"
    [check]="check $core"
    [cmdline]="cmdline"
    [app]="app $core cmdline"
    [app/posix]="app/posix app $core cmdline platform/posix"
    [app/win32]="app/win32 app $core cmdline platform/win32"
)
windows_headers='^[[:space:]]*#[[:space:]]*include[[:space:]]*<(windows|commctrl)\.h>'
status=0
while IFS= read -r -d '' file; do
    relative="${file#"$src"/}"
    folder="$(dirname "$relative")"
    if [[ -z "${allowed[$folder]+set}" ]]; then
        echo "$relative lies in $folder/, which the layering does not know"
        status=1
        continue
    fi
    while IFS= read -r target; do
        [[ "$target" == */* ]] || continue  # beside the including file
        target_folder="$(dirname "$target")"
        if [[ " ${allowed[$folder]} " != *" $target_folder "* ]]; then
            echo "$relative includes $target"
            status=1
        fi
    done < <(sed -nE 's/^[[:space:]]*#[[:space:]]*include[[:space:]]*"([^"]+)".*/\1/p' "$file")
    if [[ "$folder" != platform/win32 && "$folder" != app/win32 ]] &&
        grep -qiE "$windows_headers" "$file"; then
        echo "$relative includes a Windows header"
        status=1
    fi
done < <(find "$src" -type f \( -name '*.h' -o -name '*.cpp' -o -name '*.inc' -o -name '*.rc' \) -print0)
for other in "$@"; do
    while IFS= read -r file; do
        echo "${file#"$(dirname "$other")"/} includes a Windows header"
        status=1
    done < <(grep -rliE --include='*.h' --include='*.cpp' "$windows_headers" "$other" || true)
done
exit $status
