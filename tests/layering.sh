#!/usr/bin/env bash
# Each folder of src/ includes only what lies below it: app -> install -> (files, textures, records)
# -> (script, messages, names) -> platform interfaces; check beside install; each platform's seams
# (platform/posix, platform/win32) and the test doubles (platform/doubles) only above the
# interfaces, and only the programs of that platform (app/posix, app/win32) above them. An include
# is judged by its whole folder ("platform/posix/x.h" lies in platform/posix, not in platform). The
# Windows headers (<windows.h>, <commctrl.h>) are included only in platform/win32 and app/win32;
# everything else, tests and benchmarks of the Win32 seams too, reaches them through
# platform/win32/windows_support.h. Prints every include that breaks a rule and fails if one does.
#
# Usage: layering.sh SRC [OTHER...]: the folder rules apply to SRC; the rule of the Windows
# headers applies to the OTHER folders (tests, benchmarks, fuzz targets) too.
set -euo pipefail
src="$1"
shift
core="names platform script messages files textures records install remove check"
declare -A allowed=(
    [names]="names"
    [platform]="platform names"
    [platform/doubles]="platform/doubles platform names"
    [platform/posix]="platform/posix platform names"
    [platform/win32]="platform/win32 platform names"
    [script]="script platform names"
    [messages]="messages platform"
    [files]="files records script messages names platform"
    [textures]="textures script names platform"
    [records]="records names platform"
    [install]="install files textures records script messages names platform"
    [remove]="remove records textures script names platform"
    [check]="check $core"
    [cmdline]="cmdline"
    [app]="app $core cmdline"
    [app/posix]="app/posix app $core cmdline platform/posix"
    [app/win32]="app/win32 app $core cmdline platform/win32"
)
windows_headers='^[[:space:]]*#[[:space:]]*include[[:space:]]*<(windows|commctrl)\.h>'
status=0
sources=(--include='*.h' --include='*.cpp' --include='*.inc' --include='*.rc')
while IFS= read -r file; do
    folder="$(dirname "${file#"$src"/}")"
    if [[ -z "${allowed[$folder]+set}" ]]; then
        echo "${file#"$src"/} lies in $folder/, which the layering does not know"
        status=1
    fi
done < <(find "$src" -type f \( -name '*.h' -o -name '*.cpp' -o -name '*.inc' -o -name '*.rc' \))
# One line a quoted include: <file>:#include "<folder>/<name>".
while IFS= read -r line; do
    file="${line%%:*}"
    relative="${file#"$src"/}"
    folder="${relative%/*}"
    [[ "${line#*:}" =~ \"([^\"]+)\" ]] || continue
    target="${BASH_REMATCH[1]}"
    [[ -n "${allowed[$folder]+set}" ]] || continue
    if [[ " ${allowed[$folder]} " != *" ${target%/*} "* ]]; then
        echo "$relative includes $target"
        status=1
    fi
done < <(grep -rHE "${sources[@]}" '^[[:space:]]*#[[:space:]]*include[[:space:]]*"[^"]*/' "$src" || true)
while IFS= read -r file; do
    relative="${file#"$src"/}"
    case "$relative" in
        platform/win32/* | app/win32/*) ;;
        *)
            echo "$relative includes a Windows header"
            status=1
            ;;
    esac
done < <(grep -rliE "${sources[@]}" "$windows_headers" "$src" || true)
for other in "$@"; do
    while IFS= read -r file; do
        echo "${file#"$(dirname "$other")"/} includes a Windows header"
        status=1
    done < <(grep -rliE --include='*.h' --include='*.cpp' "$windows_headers" "$other" || true)
done
exit $status
