#!/usr/bin/env bash
# Runs one Windows program under Wine, the way the tests need it: in a Wine prefix of its own
# (copied from a base prefix made once per build), with a virtual X display, as an unprivileged
# user when called as root (so that read-only files are honoured as on Windows), and with every
# process it started ended afterwards. The program's exit code is passed on.
#
# Usage: wine-run.sh PROGRAM.exe [ARGUMENTS...]
# The build's tests call it through CMAKE_CROSSCOMPILING_EMULATOR.
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
# shellcheck source=scripts/wine-lib.sh
source "$here/wine-lib.sh"

program="$(realpath "$1")"
shift

kw_init "unit"
kw_start_display
prefix="$(kw_new_prefix run)"
trap 'kw_end_prefix "$prefix"; kw_stop_display' EXIT

# The program runs from the prefix's own drive, where the unprivileged user may read it.
mkdir -p "$prefix/drive_c/tests"
cp "$program" "$prefix/drive_c/tests/"
kw_own "$prefix/drive_c/tests"

status=0
kw_wine "$prefix" timeout --kill-after=10 "${KW_TIMEOUT:-600}" \
    "$KW_WINE" "C:\\tests\\$(basename "$program")" "$@" || status=$?
exit "$status"
