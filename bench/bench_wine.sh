#!/usr/bin/env bash
# Wine benchmark: Kolvane.exe against a real peer, an NSIS installer (Debian's makensis, stored,
# silent) of the same generated package, both under Wine in one prefix, and against
# `cp -r --preserve=timestamps` of the same files, all in the same round. Kolvane.exe is driven by
# a prompt driver of ours, which also takes the time inside Wine, from launch to exit.
#
# Per-file cost: a run minus the same program's time on an empty package, over the number of
# files; first install into an empty host, and repeat install into a host that has every file.
# Fixed cost: launch to exit with the empty package, beside a minimal program with Kolvane.exe's
# dialog and resources (the same manifest) and a Wine process that ends at once.
# The start of a Wine program with a window takes one of two times, as it happens, far enough
# apart to move a per-file figure over 400 files (docs/benchmarks.md). So the runs on the
# empty package go three times a round, and the time a per-file figure subtracts is the median of
# all of them. Every time is the median of the rounds, every ratio the median of the rounds'
# ratios (for the fixed cost, of neighbouring runs). One more round counts the requests each run
# makes to the Wine server, which, unlike the times, do not depend on how busy the machine is.
#
# Usage: bench_wine.sh WINDOWS_BUILD_DIR [directory]
#   WINDOWS_BUILD_DIR: build/windows, configured with KOLVANE_BUILD_BENCHMARKS=ON (scripts/bench.sh
#   does so); directory: where the package and the hosts go ($TMPDIR or /tmp).
#   KOLVANE_BENCH_ROUNDS: the number of rounds (default 15), after one warm-up round.
#   KOLVANE_BENCH_SERVER_LOG: a file that receives the log of the round that counts requests.
set -euo pipefail
shopt -u patsub_replacement 2>/dev/null || true

here="$(cd "$(dirname "$0")" && pwd)"
# shellcheck source=../scripts/wine-lib.sh
source "$here/../scripts/wine-lib.sh"

if [ $# -lt 1 ]; then
    echo "usage: $0 WINDOWS_BUILD_DIR [directory]" >&2
    exit 2
fi
build="$(realpath "$1")"
rounds="${KOLVANE_BENCH_ROUNDS:-15}"
for program in Kolvane.exe bench/bench_prompt_driver.exe bench/bench_minimal_dialog.exe; do
    if [ ! -f "$build/$program" ]; then
        echo "$0: $build/$program is missing (scripts/bench.sh wine builds it)" >&2
        exit 1
    fi
done
command -v makensis >/dev/null || { echo "$0: makensis is missing (package nsis)" >&2; exit 1; }

# 400 files of 160 KiB in 100 folders of 4, two levels deep: 62.5 MiB.
top_folders=10
sub_folders=10
files_per_folder=4
file_size=$((160 * 1024))
files=$((top_folders * sub_folders * files_per_folder))

work="$(mktemp -d "${2:-${TMPDIR:-/tmp}}/kolvane-bench-wine-XXXXXX")"
kw_init "bench-wine.$$" as-caller
prefix=""
finish() {
    stop_driver
    if [ -n "$prefix" ]; then
        kw_end_prefix "$prefix"
    fi
    kw_stop_display
    rm -rf "$KW_ROOT" "$work"
}
trap finish EXIT
trap 'exit 130' INT TERM

fail() {
    echo "bench_wine: $*" >&2
    exit 1
}

# The Windows name of a path, on drive Z: (= "/").
winpath() {
    local path="Z:$1"
    printf '%s' "${path//\//\\}"
}

# --- The package, its NSIS installers and the tools ------------------------------------------

package="$work/package"  # Kolvane.exe, InstSkript.txt and Modelle\...
empty="$work/empty"      # Kolvane.exe, an InstSkript.txt with empty sections, an empty Modelle
tools="$work/tools"

make_packages() {
    local script=$'Dateinstallation\r\n{\r\n' t s f folder name
    for ((t = 0; t < top_folders; t++)); do
        for ((s = 0; s < sub_folders; s++)); do
            folder="Modelle/Strecke$t/Abschnitt$s"
            mkdir -p "$package/$folder"
            for ((f = 0; f < files_per_folder; f++)); do
                name="$folder/Teil$f.mdl"
                head -c "$file_size" /dev/urandom >"$package/$name"
                script+=$'\t{'"${name//\//\\} >> ${name//\//\\}}"$'\r\n'
            done
        done
    done
    # A fixed time in the past: a host that has every file has them with the package's times.
    find "$package/Modelle" -exec touch -d @1600000000 {} +
    printf '%s' "$script"$'}\r\nTexturskript\r\n{\r\n}\r\n' >"$package/InstSkript.txt"
    mkdir -p "$empty/Modelle"
    printf '%s' $'Dateinstallation\r\n{\r\n}\r\nTexturskript\r\n{\r\n}\r\n' >"$empty/InstSkript.txt"
    cp "$build/Kolvane.exe" "$package/"
    cp "$build/Kolvane.exe" "$empty/"

    mkdir -p "$tools"
    cp "$build/bench/bench_prompt_driver.exe" "$build/bench/bench_minimal_dialog.exe" "$tools/"

    # The host's texture catalogue, where ResBase points: the texture section is empty, so every
    # run of Kolvane.exe reads and writes the same catalogue.
    mkdir -p "$work/res/Rezazerad"
    printf 'Texturen{\r\n\t\tTextur{\tid(1)\tName(Gras)\t}\r\n\t\t}\r\n' \
        >"$work/res/Rezazerad/Texturen.txt"
}

# make_installer NAME SOURCE_FOLDER: an installer of SOURCE_FOLDER's Modelle tree into
# $INSTDIR\Modelle (given with /D), stored, overwriting every present file; a 64-bit program, as
# Kolvane.exe is.
make_installer() {
    local nsi="$work/nsis/$1.nsi" file_line=""
    mkdir -p "$work/nsis"
    if [ -n "$(ls -A "$2/Modelle")" ]; then
        file_line="File /r \"$2/Modelle\""
    fi
    cat >"$nsi" <<EOF
Name "Halmdor models"
OutFile "$work/nsis/$1.exe"
Target amd64-unicode
RequestExecutionLevel user
SetCompress off
InstallDir "\$TEMP\\Halmdor"
Section
    SetOverwrite on
    SetOutPath "\$INSTDIR"
    $file_line
SectionEnd
EOF
    makensis -V1 "$nsi" >/dev/null || fail "makensis failed on $nsi"
}

# --- Runs ----------------------------------------------------------------------------------------

# The prompt driver stays for the whole benchmark: with a Wine process always there, the
# desktop process is not started anew for every run either.
start_driver() {
    coproc DRIVER { kw_wine "$prefix" "$KW_WINE" "$(winpath "$tools/bench_prompt_driver.exe")"; }
}

stop_driver() {
    if [ -n "${DRIVER_PID:-}" ]; then
        { printf 'quit\n' >&"${DRIVER[1]}"; } 2>/dev/null || true
        wait "$DRIVER_PID" 2>/dev/null || true
        DRIVER_PID=""
    fi
}

# run_wine MODE [PROGRAM ARGUMENTS...]: the prompt driver runs PROGRAM under Wine; sets $ms to
# its time and $shown to the time until its dialog showed. The program must end with exit code 0.
run_wine() {
    local code
    sync
    ask_driver "$@"
    read -r ms code shown <<<"$answer"
    [ "$code" = 0 ] || fail "exit code $code: $*"
}

# ask_driver FIELDS...: sends the prompt driver one command and sets $answer to what follows its
# "ok"; any other answer ends the benchmark.
ask_driver() {
    local line
    line="$(IFS=$'\t'; printf '%s' "$*")"
    printf '%s\n' "$line" >&"${DRIVER[1]}"
    IFS= read -r -t 300 answer <&"${DRIVER[0]}" || fail "the prompt driver did not answer: $*"
    answer="${answer%$'\r'}"
    case "$answer" in
        "ok "*) answer="${answer#ok }" ;;
        *) fail "$answer: $*" ;;
    esac
}

# run_cp SOURCE DESTINATION: copies SOURCE's contents into DESTINATION; sets $ms to its time.
run_cp() {
    local start end
    sync
    start=$EPOCHREALTIME
    cp -r --preserve=timestamps "$1/." "$2"
    end=$EPOCHREALTIME
    ms="$(awk -v s="$start" -v e="$end" 'BEGIN { printf "%.3f", (e - s) * 1000 }')"
}

# reg_set VALUE DATA: a string value of the host's registry key.
reg_set() {
    kw_reg "$prefix" add 'HKCR\Software\Tessaline\HMDX' /v "$1" /d "$2" /f >/dev/null ||
        fail "reg add $1"
}

# Each round's host is a fresh folder, which the registry then names.
register_host() {
    reg_set AppPath "$(winpath "$1")\\Halmdor.exe"
}

# The times of the rounds, one array per case, filled and read through namerefs; round 0 warms
# up and is not kept. $ms is the time of the last run, $shown the time until its dialog showed.
# shellcheck disable=SC2034
declare -a cp_first cp_repeat cp_empty kolvane_first kolvane_repeat kolvane_empty nsis_first \
    nsis_repeat nsis_empty minimal bare kolvane_shown minimal_shown
ms=""
shown=""
answer=""  # what the prompt driver answered last, after its "ok"

# prepare_round FOLDER: the fresh folders and the Windows names of one round's runs.
prepare_round() {
    r="$work/$1"
    mkdir -p "$r/cp" "$r/cp-empty" "$r/kolvane" "$r/nsis" "$r/nsis-empty"
    register_host "$r/kolvane"
    kolvane="$(winpath "$package/Kolvane.exe")"
    empty_kolvane="$(winpath "$empty/Kolvane.exe")"
    setup=("$(winpath "$work/nsis/setup.exe")" /S "/D=$(winpath "$r/nsis")")
    empty_setup=("$(winpath "$work/nsis/empty.exe")" /S "/D=$(winpath "$r/nsis-empty")")
    minimal_dialog="$(winpath "$tools/bench_minimal_dialog.exe")"
}

# The cases, each one run that keeps its time (keep is defined by round).
case_cp_first() { run_cp "$package/Modelle" "$r/cp" && keep cp_first; }
case_cp_repeat() { run_cp "$package/Modelle" "$r/cp" && keep cp_repeat; }
case_cp_empty() { run_cp "$empty/Modelle" "$r/cp-empty" && keep cp_empty; }
case_kolvane_first() { run_wine dialog "$kolvane" && keep kolvane_first; }
case_kolvane_repeat() { run_wine dialog "$kolvane" && keep kolvane_repeat; }
case_kolvane_empty() { run_wine dialog "$empty_kolvane" && keep kolvane_empty kolvane_shown; }
case_nsis_first() { run_wine silent "${setup[@]}" && keep nsis_first; }
case_nsis_repeat() { run_wine silent "${setup[@]}" && keep nsis_repeat; }
case_nsis_empty() { run_wine silent "${empty_setup[@]}" && keep nsis_empty; }
case_minimal() { run_wine dialog "$minimal_dialog" && keep minimal minimal_shown; }
case_bare() { run_wine bare && keep bare; }

round() {
    local number="$1" group step
    local -a steps
    # Every run writes into a folder made in its round; old folders go a round earlier, because
    # this disk's file system is slow to reuse inodes freed in the last half minute.
    rm -rf "$work/round$((number - 2))"
    prepare_round "round$number"
    # keep ARRAY [SHOWN_ARRAY]: the last times go into the arrays, except in the warm-up round.
    keep() {
        [ "$number" -gt 0 ] || return 0
        local -n times="$1"
        times+=("$ms")
        if [ $# -gt 1 ]; then
            local -n shown_times="$2"
            shown_times+=("$shown")
        fi
    }
    # The cases take turns, and every other round in the opposite order, so that neither a busy
    # moment of the machine nor the work the run before leaves behind favours one of them.
    local fixed="kolvane_empty minimal nsis_empty cp_empty bare"
    for group in "cp_first kolvane_first nsis_first" "cp_repeat kolvane_repeat nsis_repeat" \
        "$fixed" "$fixed" "$fixed"; do
        read -r -a steps <<<"$group"
        if ((number % 2 == 1)); then
            read -r -a steps <<<"$(printf '%s\n' "${steps[@]}" | tac | tr '\n' ' ')"
        fi
        for step in "${steps[@]}"; do
            "case_$step"
        done
    done
}

# Every host of the last round must hold exactly the package's files.
check_hosts() {
    local r="$work/round$rounds" host
    for host in "$r/cp" "$r/kolvane/Modelle" "$r/nsis/Modelle"; do
        [ "$(find "$host" -type f | wc -l)" -eq "$files" ] || fail "$host: not $files files"
        diff -r "$package/Modelle" "$host" >/dev/null || fail "$host differs from the package"
    done
    [ "$(stat -c %Y "$r/kolvane/Modelle/Strecke9/Abschnitt9/Teil3.mdl")" = 1600000000 ] ||
        fail "Kolvane.exe did not keep the last-write time"
}

# --- Requests to the Wine server -----------------------------------------------------------------
# Unlike times, the number of requests a run makes to the Wine server does not depend on how busy
# the machine is. One more round runs with a server that logs every request; each run counts the
# requests of every thread but the prompt driver's (the program's and the desktop's).

server_log="$work/server.log"
declare -A requests

# A server of its own for this prefix, logging to $server_log.
start_logging_server() {
    kw_wine "$prefix" "$KW_WINESERVER" -k >/dev/null 2>&1 || true
    kw_wine "$prefix" "$KW_WINESERVER" -w >/dev/null 2>&1 || true
    kw_wine "$prefix" "$KW_WINESERVER" -f -p -d1 2>"$server_log" &
    local waited
    for ((waited = 0; waited < 100; waited++)); do
        grep -q "wineserver: starting" "$server_log" 2>/dev/null && return 0
        sleep 0.1
    done
    fail "the logging Wine server did not start"
}

# count NAME MODE [PROGRAM ARGUMENTS...]: runs the program like run_wine; requests[NAME] is the
# number of requests the run made.
count() {
    local name="$1" from
    shift
    from=$(($(wc -l <"$server_log") + 1))
    run_wine "$@"
    # The driver's thread is the one that asked for the new process.
    requests[$name]="$(tail -n "+$from" "$server_log" | awk '
        /^[0-9a-f]+: new_process\(/ && driver == "" { driver = substr($1, 1, length($1) - 1) }
        /^[0-9a-f]+: [a-z_]+\(/ && !/\) = / { if (substr($1, 1, length($1) - 1) != driver) n++ }
        END { print n + 0 }')"
}

count_requests() {
    stop_driver
    start_logging_server
    start_driver
    prepare_round count
    # The first run in the new server starts the desktop process.
    run_wine dialog "$minimal_dialog"
    count kolvane_first dialog "$kolvane"
    count kolvane_repeat dialog "$kolvane"
    count kolvane_empty dialog "$empty_kolvane"
    count nsis_first silent "${setup[@]}"
    count nsis_repeat silent "${setup[@]}"
    count nsis_empty silent "${empty_setup[@]}"
    count minimal dialog "$minimal_dialog"
    stop_driver
    if [ -n "${KOLVANE_BENCH_SERVER_LOG:-}" ]; then
        cp "$server_log" "$KOLVANE_BENCH_SERVER_LOG"
    fi
}

# What a request to the Wine server costs here, the floor under every file a program copies: the
# prompt driver asks an open file's path (one request) and opens and closes it (two), many times
# over; the median of three such runs, before the server that logs. Sets $request_us and
# $open_close_us.
measure_requests() {
    local i a b
    local -a one=() two=()
    for ((i = 0; i < 3; i++)); do
        ask_driver requests "$(winpath "$package/Modelle/Strecke0/Abschnitt0/Teil0.mdl")"
        read -r a b <<<"$answer"
        one+=("$a")
        two+=("$b")
    done
    request_us="$(median "${one[@]}")"
    open_close_us="$(median "${two[@]}")"
}

# --- Figures -------------------------------------------------------------------------------------

median() {
    printf '%s\n' "$@" | sort -g | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'
}

# format DIGITS VALUE
format() {
    awk -v d="$1" -v a="$2" 'BEGIN { printf "%.*f", d, a }'
}

# per_file OUT FULL EMPTY: OUT gets one figure a round, (FULL - the median of EMPTY) / files.
per_file() {
    local -n out="$1" full="$2" none="$3"
    local i fixed
    fixed="$(median "${none[@]}")"
    out=()
    for i in "${!full[@]}"; do
        out+=("$(awk -v a="${full[$i]}" -v b="$fixed" -v n="$files" \
            'BEGIN { print (a - b) / n }')")
    done
}

# ratio A B: the median of the rounds' ratios A / B. The runs of one round are neighbours, so a
# busy spell of the machine mostly falls on both.
ratio() {
    local -n a="$1" b="$2"
    local i
    local -a ratios=()
    for i in "${!a[@]}"; do
        ratios+=("$(awk -v x="${a[$i]}" -v y="${b[$i]}" 'BEGIN { print x / y }')")
    done
    format 2 "$(median "${ratios[@]}")"
}

# figure DIGITS ARRAY: the median of the rounds.
figure() {
    local -n values="$2"
    format "$1" "$(median "${values[@]}")"
}

requests_per_file() {
    awk -v a="${requests[$1]}" -v b="${requests[$2]}" -v n="$files" \
        'BEGIN { printf "%.1f", (a - b) / n }'
}

report() {
    # shellcheck disable=SC2034  # filled and read through namerefs
    local -a k1 n1 c1 k2 n2 c2
    per_file k1 kolvane_first kolvane_empty
    per_file n1 nsis_first nsis_empty
    per_file c1 cp_first cp_empty
    per_file k2 kolvane_repeat kolvane_empty
    per_file n2 nsis_repeat nsis_empty
    per_file c2 cp_repeat cp_empty

    echo "Wine benchmark: $files files of $((file_size / 1024)) KiB" \
        "($(format 1 "$(awk -v b=$((files * file_size)) 'BEGIN { print b / 1048576 }')") MiB)" \
        "in $((top_folders * sub_folders)) folders; medians of $rounds rounds (the empty package:" \
        "three runs a round), ratio: the median of the rounds' ratios ($("$KW_WINE" --version), NSIS $(makensis -VERSION))"
    echo "per file, ms: first install   Kolvane $(figure 2 k1)  NSIS $(figure 2 n1)" \
        " ratio $(ratio k1 n1)  cp $(figure 2 c1)   (target: ratio at most 0.6)"
    echo "per file, ms: repeat install  Kolvane $(figure 2 k2)  NSIS $(figure 2 n2)" \
        " ratio $(ratio k2 n2)  cp $(figure 2 c2)   (target: ratio at most 0.4)"
    echo "fixed, ms: empty package      Kolvane $(figure 1 kolvane_empty)" \
        " NSIS $(figure 1 nsis_empty)  ratio $(ratio kolvane_empty nsis_empty)" \
        " cp $(figure 1 cp_empty)"
    echo "fixed, ms: launch to exit     Kolvane $(figure 1 kolvane_empty)" \
        " minimal dialog $(figure 1 minimal)  ratio $(ratio kolvane_empty minimal)" \
        " a Wine process that ends at once $(figure 1 bare)   (target: ratio at most 1.1)"
    echo "fixed, ms: launch to dialog   Kolvane $(figure 1 kolvane_shown)" \
        " minimal dialog $(figure 1 minimal_shown)  ratio $(ratio kolvane_shown minimal_shown)"
    echo "Wine server requests, one run each:"
    echo "  per file: first install   Kolvane $(requests_per_file kolvane_first kolvane_empty)" \
        " NSIS $(requests_per_file nsis_first nsis_empty)"
    echo "  per file: repeat install  Kolvane $(requests_per_file kolvane_repeat kolvane_empty)" \
        " NSIS $(requests_per_file nsis_repeat nsis_empty)"
    echo "  fixed: empty package      Kolvane ${requests[kolvane_empty]}" \
        " NSIS ${requests[nsis_empty]}  minimal dialog ${requests[minimal]}  ratio" \
        "$(format 2 "$(awk -v a="${requests[kolvane_empty]}" -v b="${requests[minimal]}" \
            'BEGIN { print a / b }')")"
    echo "  cost, us: one request (an open file's path) $request_us, opening and closing a" \
        "file $open_close_us"
}

# --- Run -----------------------------------------------------------------------------------------

started=$SECONDS
make_packages
make_installer setup "$package"
make_installer empty "$empty"
kw_start_display
kw_ensure_base
prefix="$(kw_new_prefix bench)"
# A server that stays when the last process ends: its start is not part of any run.
kw_wine "$prefix" "$KW_WINESERVER" -p
reg_set ResBase "$(winpath "$work/res")"
start_driver
for ((number = 0; number <= rounds; number++)); do
    round "$number"
done
check_hosts
measure_requests
count_requests
report
echo "(the whole benchmark took $((SECONDS - started)) s)"
