#!/usr/bin/env bash
# End-to-end suite of the Windows program: Kolvane.exe runs under Wine in a virtual X display,
# each test in a Wine prefix of its own (copied from one base prefix made for this run), and a
# driver program of ours (driver.cpp) finds its windows, reads them and presses their buttons.
# Every wait has a time limit, and every process a test started is ended with it.
#
# Usage: run-suite.sh KOLVANE.EXE DRIVER.EXE ARTIFACT_DIR [TEST_NAME...]
# Screenshots of the main dialog are left in ARTIFACT_DIR for a person to look at.
set -uo pipefail
shopt -u patsub_replacement 2>/dev/null || true

here="$(cd "$(dirname "$0")" && pwd)"
source_dir="$(cd "$here/../../.." && pwd)"
# shellcheck source=../../../scripts/wine-lib.sh
source "$source_dir/scripts/wine-lib.sh"

if [ $# -lt 3 ]; then
    echo "usage: $0 KOLVANE.EXE DRIVER.EXE ARTIFACT_DIR [TEST_NAME...]" >&2
    exit 2
fi
program="$(realpath "$1")"
driver="$(realpath "$2")"
artifacts="$3"
shift 3
mkdir -p "$artifacts"
messages="$source_dir/src/messages/messages.inc"

kw_init "e2e.$$"
prefix=""
app_pid=""
DRV_PID=""

# Ends the program, the driver and everything else in the test's prefix, and removes the prefix.
end_test_processes() {
    if [ -n "$prefix" ]; then
        kw_end_prefix "$prefix"
    fi
    if [ -n "$app_pid" ]; then
        kill "$app_pid" 2>/dev/null || true
        wait "$app_pid" 2>/dev/null || true
    fi
    if [ -n "${DRV_PID:-}" ]; then
        kill "$DRV_PID" 2>/dev/null || true
        wait "$DRV_PID" 2>/dev/null || true
    fi
    prefix=""
    app_pid=""
    DRV_PID=""
}

finish() {
    end_test_processes
    kw_stop_display
    rm -rf "$KW_ROOT"
}
trap finish EXIT
trap 'exit 130' INT TERM

# --- Checks --------------------------------------------------------------------------------------

test_failed=0
fail() {
    echo "    FAIL: $*"
    test_failed=1
}

# expect ACTUAL EXPECTED WHAT
expect() {
    if [ "$1" != "$2" ]; then
        fail "$3"
        echo "      expected: $2"
        echo "      actual:   $1"
    fi
}

# The text as the driver writes it: \n, \t, \r, \\ and \xHH for other bytes outside 32..126.
esc() {
    local LC_ALL=C
    local s="$1" out="" c code hex i
    for ((i = 0; i < ${#s}; i++)); do
        c="${s:i:1}"
        case "$c" in
            '\') out+='\\' ;;
            $'\n') out+='\n' ;;
            $'\t') out+='\t' ;;
            $'\r') out+='\r' ;;
            *)
                printf -v code '%d' "'$c"
                code=$((code & 255))
                if ((code < 32 || code > 126)); then
                    printf -v hex '\\x%02x' "$code"
                    out+="$hex"
                else
                    out+="$c"
                fi
                ;;
        esac
    done
    printf '%s' "$out"
}

# The string-table text of ID, with each %s replaced by the next argument.
msg() {
    local id="$1" literal text
    shift
    literal="$(sed -n "s/^KOLVANE_STRING($id, \"\\(.*\\)\")\$/\\1/p" "$messages")"
    printf -v text '%b' "$literal"
    for arg in "$@"; do
        text="${text/\%s/$arg}"
    done
    printf '%s' "$text"
}

# --- The driver ----------------------------------------------------------------------------------

start_driver() {
    coproc DRV { kw_wine "$prefix" "$KW_WINE" 'C:\Tools\driver.exe' 2>/dev/null; }
}

# Sends one command; the answer is in $answer, and what follows its "ok " in $value.
drv() {
    answer="error"
    value=""
    if [ -z "${DRV_PID:-}" ]; then
        fail "no driver for: $*"
        return 1
    fi
    printf '%s\n' "$*" >&"${DRV[1]}"
    if ! IFS= read -r -t 60 answer <&"${DRV[0]}"; then
        fail "the driver did not answer: $*"
        answer="error"
        return 1
    fi
    answer="${answer%$'\r'}"
    case "$answer" in
        ok) value="" ;;
        "ok "*) value="${answer#ok }" ;;
        ok$'\t'*) value="${answer#ok}" ;;
        *) return 1 ;;
    esac
}

# wait_window ID TITLE [MS]: sets $window to a top-level window titled TITLE with control ID.
wait_window() {
    window=""
    if drv wait "${3:-20000}" "$1" "$(esc "$2")"; then
        window="$value"
        return 0
    fi
    fail "no window \"$2\" with control $1 ($answer)"
    return 1
}

# wait_box CAPTION: the next message box; sets $box.
wait_box() {
    box=""
    wait_window 65535 "$1" && box="$window"
}

# answer_box CAPTION ID TEXT: a message box with the text TEXT, pressed with button ID.
answer_box() {
    wait_box "$1" || return 1
    drv text "$box" 65535
    expect "$value" "$(esc "$3")" "text of the message box"
    drv click "$box" "$2"
    drv gone 10000 "$box" || fail "the message box stayed"
}

# --- The program ---------------------------------------------------------------------------------

new_test() {
    test_failed=0
    prefix="$(kw_new_prefix test)"
    C="$prefix/drive_c"
    mkdir -p "$C/Pkg" "$C/Host" "$C/Tools"
    cp "$program" "$C/Pkg/Kolvane.exe"
    cp "$driver" "$C/Tools/driver.exe"
}

# reg_set PRODUCT VALUE DATA: a string value under HKCR\Software\Tessaline\PRODUCT.
reg_set() {
    kw_wine "$prefix" "$KW_WINE" reg add "HKCR\\Software\\Tessaline\\$1" /v "$2" /d "$3" /f \
        >/dev/null 2>&1 || fail "reg add $*"
}

register_host() {
    reg_set HMDX AppPath 'C:\Host\Host.exe'
    reg_set HMDX ResBase 'C:\Host\Res'
}

# start_app LANGUAGE [ARGUMENTS...]: starts Kolvane.exe with LC_ALL=LANGUAGE and the driver.
start_app() {
    local language="$1"
    shift
    kw_own "$C/Pkg" "$C/Host" "$C/Tools"
    start_driver
    KW_LC_ALL="$language" kw_wine "$prefix" "$KW_WINE" 'C:\Pkg\Kolvane.exe' "$@" \
        >/dev/null 2>&1 &
    app_pid=$!
}

# main_dialog: sets $dialog to the main dialog.
main_dialog() {
    dialog=""
    wait_window 1000 Kolvane && dialog="$window"
}

# wait_exit EXPECTED_CODE: the program must end within 20 seconds with that exit code.
wait_exit() {
    local waited=0
    while kill -0 "$app_pid" 2>/dev/null; do
        if ((waited >= 200)); then
            fail "the program did not end"
            kill "$app_pid" 2>/dev/null
            break
        fi
        sleep 0.1
        waited=$((waited + 1))
    done
    local code=0
    wait "$app_pid" || code=$?
    app_pid=""
    expect "$code" "$1" "exit code"
}

catalog="Host/Res/Rezazerad/Texturen.txt"

# A package with a script that copies Models\Lok.dat, a file with an umlaut in its name and two
# files to Windows-1252 Š and š (one name on Windows) and registers texture 2, and the host's
# texture catalogue with textures 1 and 3.
make_package() {
    mkdir -p "$C/Host/Res/Rezazerad"
    printf 'Textur{ id(1) name(Gras) }\r\n  Textur{ id(3) name(Kies) }\r\n' >"$C/$catalog"
    mkdir -p "$C/Pkg/Models"
    printf 'locomotive' >"$C/Pkg/Models/Lok.dat"
    printf 'bridge' >"$C/Pkg/Br"$'\xc3\xbc'"cke.dat"
    printf 'a' >"$C/Pkg/a.dat"
    printf 'b' >"$C/Pkg/b.dat"
    touch -d @1600000000 "$C/Pkg/Models/Lok.dat" "$C/Pkg/Br"$'\xc3\xbc'"cke.dat" "$C/Pkg/"[ab].dat
    printf '%s\r\n' 'Dateinstallation' '{' \
        '    { Models\Lok.dat >> Models\Lok.dat }' \
        '    { Br'$'\xfc''cke.dat >> Neu\Tief\Br'$'\xfc''cke.dat }' \
        '    { a.dat >> '$'\x8a''.dat }' '    { b.dat >> '$'\x9a''.dat }' \
        '}' 'Texturskript' '{' \
        '    { 2 >> Textur{ id(2) name(Schotter) } }' \
        '}' >"$C/Pkg/InstSkript.txt"
}

# The catalogue of make_package after texture 2 went in, in the layout the host writes.
installed_catalog() {
    printf '%s' 'Textur{\tid(1)\tname(Gras)\t}Textur{\tid(2)\tname(Schotter)\t}\r\n\t\t' \
        'Textur{\tid(3)\tname(Kies)\t}\r\n\t\t'
}

# The bytes of a file under drive C:, as esc writes them, or "missing".
file_bytes() {
    if [ -f "$C/$1" ]; then
        # A trailing character keeps the file's own final line breaks in the substitution.
        local text
        text="$(cat "$C/$1"; printf x)"
        esc "${text%x}"
    else
        printf missing
    fi
}

screenshot() {
    drv rect "$1" || return
    read -r left top width height <<<"$value"
    DISPLAY="$KW_DISPLAY" import -window root -crop "${width}x${height}+${left}+${top}" +repage \
        "$artifacts/$2" 2>/dev/null || fail "no screenshot"
}

# --- The tests -----------------------------------------------------------------------------------

test_english_dialog() {
    start_app en_US.UTF-8
    main_dialog || return
    drv text "$dialog" 1001
    expect "$value" "$(esc "$(msg 208)")" "description"
    drv text "$dialog" 1
    expect "$value" Install "Install button"
    drv text "$dialog" 2
    expect "$value" Quit "Quit button"
    drv focus "$dialog"
    expect "$value" 1 "focus on Install"
    drv progress "$dialog"
    expect "$value" "0 0 100" "progress bar untouched"
    screenshot "$dialog" main-dialog-en.png
    drv click "$dialog" 2
    wait_exit 0
}

test_german_dialog() {
    start_app de_AT.UTF-8
    main_dialog || return
    drv text "$dialog" 1001
    expect "$value" "$(esc "$(msg 108)")" "description"
    expect "$value" 'Dieses Programm installiert zus\xe4tzliche Modelle zum Programm Halmdor (HMD).' \
        "description with its umlaut"
    drv text "$dialog" 1
    expect "$value" Installieren "Install button"
    drv text "$dialog" 2
    expect "$value" Abbrechen "Quit button"
    screenshot "$dialog" main-dialog-de.png
    # Escape is Quit.
    drv key "$dialog" 1 27
    wait_exit 0
}

test_about_box() {
    start_app en_US.UTF-8
    main_dialog || return
    local about_title=$'Info \xfcber Kolvane'
    for command in 16 17; do
        drv syscommand "$dialog" "$command"
        wait_window 1 "$about_title" || return
        drv texts "$window"
        case "$value" in
            *"=Kolvane Version 1.0"*) ;;
            *) fail "about box texts: $value" ;;
        esac
        drv owner "$window"
        expect "$value" "$dialog" "owner of the about box"
        drv click "$window" 1
        drv gone 10000 "$window" || fail "the about box stayed"
    done
    drv text "$dialog" 1
    expect "$value" Install "the dialog is unchanged"
    drv syscommand "$dialog" 61536 # SC_CLOSE
    wait_exit 0
}

test_no_host() {
    start_app en_US.UTF-8
    main_dialog || return
    for press in 1 2; do
        drv click "$dialog" 1
        wait_box Kolvane || return
        drv enabled "$dialog"
        expect "$value" 0 "the dialog waits for the box"
        drv buttons "$box"
        expect "$value" 1 "one OK button"
        drv text "$box" 65535
        expect "$value" "$(esc "$(msg 202)")" "no-host message, press $press"
        drv click "$box" 1
        drv gone 10000 "$box"
        drv enabled "$dialog"
        expect "$value" 1 "the dialog stays open"
    done
    drv click "$dialog" 2
    wait_exit 0
}

test_no_host_german() {
    start_app de_DE.UTF-8
    main_dialog || return
    drv click "$dialog" 1
    answer_box Kolvane 1 "$(msg 102)"
    drv click "$dialog" 2
    wait_exit 0
}

test_successful_installation() {
    register_host
    make_package
    start_app en_US.UTF-8
    main_dialog || return
    drv click "$dialog" 1
    wait_box Kolvane || return
    drv progress "$dialog"
    expect "$value" "4 0 4" "progress bar full"
    answer_box Kolvane 1 "$(msg 204)"
    wait_exit 0
    expect "$(cat "$C/Host/Models/Lok.dat" 2>&1)" locomotive "copied file"
    expect "$(stat -c %Y "$C/Host/Models/Lok.dat" 2>&1)" 1600000000 "last-write time carried over"
    expect "$(cat "$C/Host/Neu/Tief/Br"$'\xc3\xbc'"cke.dat" 2>&1)" bridge \
        "file with an umlaut, two new directories"
    expect "$(cd "$C/Host" && printf '%s ' *.dat)" $'\xc5\xa0.dat ' "Š and š: one file"
    expect "$(cat "$C/Host/"$'\xc5\xa0'.dat 2>&1)" b "the later copy replaced the earlier"
    expect "$(file_bytes "$catalog")" "$(installed_catalog)" "catalogue with texture 2"
}

# The resource folder registered only for the second product: the catalogue is found there.
test_catalogue_of_second_product() {
    reg_set QZ AppPath 'C:\Host\Host.exe'
    reg_set QZ ResBase 'C:\Host\Res\'
    make_package
    start_app en_US.UTF-8
    main_dialog || return
    drv click "$dialog" 1
    answer_box Kolvane 1 "$(msg 204)"
    wait_exit 0
    expect "$(file_bytes "$catalog")" "$(installed_catalog)" "catalogue with texture 2"
}

# Without the host's catalogue the files are installed, the run fails and no catalogue appears.
test_catalogue_missing() {
    register_host
    make_package
    rm "$C/$catalog"
    start_app en_US.UTF-8
    main_dialog || return
    drv click "$dialog" 1
    answer_box Kolvane 1 "$(msg 203)"
    wait_exit 2
    expect "$(cat "$C/Host/Models/Lok.dat" 2>&1)" locomotive "the files are installed"
    expect "$(file_bytes "$catalog")" missing "no catalogue is created"
}

test_script_missing() {
    register_host
    start_app en_US.UTF-8
    main_dialog || return
    drv click "$dialog" 1
    wait_box Kolvane || return
    drv progress "$dialog"
    expect "$value" "1 0 4" "progress bar at 1 while 207 is up"
    answer_box Kolvane 1 "$(msg 207)"
    answer_box Kolvane 1 "$(msg 203)"
    wait_exit 2
}

# A present file newer than the package's: question 106, Yes keeps it, No replaces it.
newer_present_file() {
    register_host
    make_package
    mkdir -p "$C/Host/Models"
    printf 'present' >"$C/Host/Models/Lok.dat"
    touch -d @1700000000 "$C/Host/Models/Lok.dat"
}

question() {
    msg 206 'C:\Host\Models\Lok.dat' 'C:\Pkg\Models\Lok.dat'
}

test_newer_file_kept() {
    newer_present_file
    start_app en_US.UTF-8
    main_dialog || return
    drv click "$dialog" 1
    wait_box Kolvane || return
    drv buttons "$box"
    expect "$value" "6 7" "Yes and No"
    answer_box Kolvane 6 "$(question)"
    answer_box Kolvane 1 "$(msg 204)"
    wait_exit 0
    expect "$(cat "$C/Host/Models/Lok.dat")" present "Yes keeps the present file"
}

test_newer_file_replaced() {
    newer_present_file
    start_app en_US.UTF-8
    main_dialog || return
    drv click "$dialog" 1
    answer_box Kolvane 7 "$(question)"
    answer_box Kolvane 1 "$(msg 204)"
    wait_exit 0
    expect "$(cat "$C/Host/Models/Lok.dat")" locomotive "No replaces the present file"
}

test_silent() {
    newer_present_file
    start_app en_US.UTF-8 -s
    main_dialog || return
    drv click "$dialog" 1
    answer_box Kolvane 1 "$(msg 204)"
    wait_exit 0
    expect "$(cat "$C/Host/Models/Lok.dat")" present "-s keeps the newer file without asking"
}

test_failed_copy() {
    register_host
    make_package
    mkdir -p "$C/Host/Models"
    printf 'old' >"$C/Host/Models/Lok.dat"
    touch -d @1500000000 "$C/Host/Models/Lok.dat"
    start_app en_US.UTF-8
    # Read-only for the Wine user: made so after start_app handed the folders over.
    chmod a-w "$C/Host/Models/Lok.dat"
    main_dialog || return
    drv click "$dialog" 1
    answer_box Kolvane 1 "$(msg 205 'C:\Pkg\Models\Lok.dat' 'C:\Host\Models\Lok.dat')"
    answer_box Kolvane 1 "$(msg 203)"
    wait_exit 2
    expect "$(cat "$C/Host/Models/Lok.dat")" old "the read-only file stays whole"
    expect "$(stat -c %A "$C/Host/Models/Lok.dat" | cut -c3)" w \
        "attributes are normal again after the attempt"
    expect "$(cat "$C/Host/Neu/Tief/Br"$'\xc3\xbc'"cke.dat" 2>&1)" bridge "the next entry is installed"
}

# A destination of LENGTH bytes, a file of the host followed by a run of backslashes: the copy
# fails with its message, the texture section runs as usual, and the run ends with the failure
# message. Wine's message box shows no text of more than 32,767 characters (it is held in a
# counted UTF-16 string), so of a 40 KB message only its box, with one button, can be seen.
long_destination() {
    local length="$1" run
    register_host
    make_package
    printf 'host' >"$C/Host/Host.exe"
    run="$(printf '%*s' "$length" '' | tr ' ' '\\')"
    printf '%s\r\n' 'Dateinstallation' '{' "    { Models\\Lok.dat >> Host.exe\\y$run }" '}' \
        'Texturskript' '{' '    { 2 >> Textur{ id(2) name(Schotter) } }' '}' >"$C/Pkg/InstSkript.txt"
    start_app en_US.UTF-8
    main_dialog || return
    drv click "$dialog" 1
    if ((length < 30000)); then
        answer_box Kolvane 1 "$(msg 205 'C:\Pkg\Models\Lok.dat' "C:\\Host\\Host.exe\\y$run")"
    else
        wait_box Kolvane || return
        drv buttons "$box"
        expect "$value" 1 "the copy's failure has one OK button"
        drv click "$box" 1
        drv gone 10000 "$box" || fail "the message box stayed"
    fi
    answer_box Kolvane 1 "$(msg 203)"
    wait_exit 2
    expect "$(file_bytes "$catalog")" "$(installed_catalog)" "the texture section ran"
}

test_destination_of_20_kilobytes() {
    long_destination 20000
}

test_destination_of_40_kilobytes() {
    long_destination 40000
}

# A write-protected catalogue keeps its bytes, and the run reports the failure.
test_catalogue_read_only() {
    register_host
    make_package
    local before
    before="$(file_bytes "$catalog")"
    start_app en_US.UTF-8
    chmod a-w "$C/$catalog"
    main_dialog || return
    drv click "$dialog" 1
    answer_box Kolvane 1 "$(msg 203)"
    wait_exit 2
    expect "$(file_bytes "$catalog")" "$before" "the read-only catalogue is unchanged"
    expect "$(ls "$C/Host/Res/Rezazerad")" Texturen.txt "no temporary file is left beside it"
}

test_help() {
    start_app en_US.UTF-8 '-?'
    answer_box cmdl 1 "-s :Silent: No request about skipping installation just doing default
-? :display usage help (argument for help on a particular parameter)
"
    wait_exit 3
    drv windows
    case "$value" in
        *Kolvane*) fail "the main dialog opened after help" ;;
    esac
}

test_help_for_one_parameter() {
    start_app en_US.UTF-8 '/?s'
    answer_box cmdl 1 "-s :Silent: No request about skipping installation just doing default
"
    wait_exit 3
}

test_invalid_switch() {
    start_app en_US.UTF-8 -x
    answer_box cmdl 1 "error: switch -x
invalid switch.
"
    # The program goes on after a notice: the dialog opens as usual.
    main_dialog || return
    drv click "$dialog" 2
    wait_exit 0
}

all_tests=(
    test_english_dialog
    test_german_dialog
    test_about_box
    test_no_host
    test_no_host_german
    test_successful_installation
    test_catalogue_of_second_product
    test_catalogue_missing
    test_script_missing
    test_newer_file_kept
    test_newer_file_replaced
    test_silent
    test_failed_copy
    test_destination_of_20_kilobytes
    test_destination_of_40_kilobytes
    test_catalogue_read_only
    test_help
    test_help_for_one_parameter
    test_invalid_switch
)
if [ $# -gt 0 ]; then
    all_tests=("$@")
fi

# --- Run -----------------------------------------------------------------------------------------

started=$SECONDS
kw_start_display
kw_ensure_base
echo "base prefix ready after $((SECONDS - started)) s"

passed=0
failed=0
for name in "${all_tests[@]}"; do
    test_started=$SECONDS
    new_test
    "$name"
    end_test_processes
    if [ "$test_failed" -eq 0 ]; then
        passed=$((passed + 1))
        echo "ok - $name ($((SECONDS - test_started)) s)"
    else
        failed=$((failed + 1))
        echo "not ok - $name ($((SECONDS - test_started)) s)"
    fi
done
echo "Wine end-to-end suite: $((SECONDS - started)) s"
echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
