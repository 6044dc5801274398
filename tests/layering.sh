#!/usr/bin/env bash
# Each folder of src/ includes only what lies below it: app -> install -> (files, textures) ->
# (script, messages, names) -> platform; check beside install. Prints every include that goes
# the wrong way and fails if there is one.
set -euo pipefail
src="$1"
declare -A allowed=(
    [names]="names"
    [platform]="platform names"
    [script]="script platform names"
    [messages]="messages platform"
    [files]="files script messages names platform"
    [textures]="textures script names platform"
    [install]="install files textures script messages names platform cmdline"
    [check]="check install files textures script messages names platform cmdline"
    [cmdline]="cmdline"
)
status=0
for folder in "${!allowed[@]}"; do
    [ -d "$src/$folder" ] || continue
    while IFS= read -r line; do
        file="${line%%:*}"
        target="$(sed -E 's/.*#include "([^/"]+)\/.*/\1/' <<<"$line")"
        if [[ " ${allowed[$folder]} " != *" $target "* ]]; then
            echo "${file#$src/} includes from $target/"
            status=1
        fi
    done < <(grep -rHE '^#include "[^/"]+/' "$src/$folder" || true)
done
exit $status
