# Helpers for running the Windows programs under Wine in tests; sourced by wine-run.sh and the
# end-to-end suite. Every Wine process runs in a prefix of its own, copied from a base prefix, as
# an unprivileged user when the caller is root (root ignores read-only files, Windows does not),
# with a virtual X display that is ended with everything else.

# Finds Wine and the user it runs as; sets the folder that holds the prefixes of this kind
# (KW_ROOT, below ${KOLVANE_WINE_ROOT:-/tmp}). With "as-caller" as its second argument Wine runs
# as the caller even when that is root (for benchmarks, which test no read-only files).
kw_init() {
    local kind="$1" as_caller="${2:-}"
    KW_WINE="$(command -v wine64 || command -v wine || echo /usr/lib/wine/wine64)"
    KW_WINESERVER="$(command -v wineserver || echo /usr/lib/wine/wineserver)"
    if [ ! -x "$KW_WINE" ] || [ ! -x "$KW_WINESERVER" ]; then
        echo "Wine is missing (wine64); scripts/install-deps.sh installs it" >&2
        exit 1
    fi
    if [ "$(id -u)" -eq 0 ] && [ "$as_caller" != as-caller ]; then
        KW_USER=nobody
        KW_GROUP=nogroup
        KW_AS=(setpriv --reuid=nobody --regid=nogroup --clear-groups --)
    else
        KW_USER="$(id -un)"
        KW_GROUP="$(id -gn)"
        KW_AS=()
    fi
    KW_ROOT="${KOLVANE_WINE_ROOT:-/tmp}/kolvane-wine-$KW_USER/$kind"
    mkdir -p "$KW_ROOT"
    if [ "$(id -u)" -eq 0 ]; then
        chown "$KW_USER:$KW_GROUP" "$(dirname "$KW_ROOT")" "$KW_ROOT"
    fi
    KW_DISPLAY_PID=""
    KW_DISPLAY=""
}

# Gives a folder (and everything in it) to the user Wine runs as.
kw_own() {
    if [ "$(id -u)" -eq 0 ]; then
        chown -R "$KW_USER:$KW_GROUP" "$@"
    fi
}

# Runs a command as the Wine user in prefix $1, with the test display.
kw_wine() {
    local prefix="$1"
    shift
    "${KW_AS[@]}" env WINEPREFIX="$prefix" HOME="$KW_ROOT" XDG_CACHE_HOME="$KW_ROOT/.cache" \
        WINEDEBUG="${WINEDEBUG:--all}" WINEDLLOVERRIDES="mscoree,mshtml=" \
        DISPLAY="$KW_DISPLAY" LC_ALL="${KW_LC_ALL:-en_US.UTF-8}" "$@"
}

# kw_reg PREFIX ARGUMENTS...: Wine's reg program in prefix PREFIX; prints what it said. It can fail
# to start, or end without a word, while the machine is busy (seen in parallel runs), so it is asked
# up to three times before its failure counts. What it says goes through a file: the Wine server
# and services that it may start keep their output open, so a pipe would not end with it.
kw_reg() {
    local prefix="$1" attempt out
    shift
    out="$(mktemp)"
    for attempt in 1 2 3; do
        if kw_wine "$prefix" "$KW_WINE" reg "$@" >"$out" 2>&1 && [ -s "$out" ]; then
            cat "$out"
            rm -f "$out"
            return 0
        fi
        sleep 1
    done
    cat "$out"
    rm -f "$out"
    return 1
}

# Makes the base prefix $KW_ROOT/base unless it is there already; one caller at a time.
kw_ensure_base() {
    local base="$KW_ROOT/base"
    (
        flock -w 300 9 || { echo "timed out waiting for the base prefix" >&2; exit 1; }
        [ -e "$base/.complete" ] && exit 0
        rm -rf "$base"
        mkdir -p "$base"
        kw_own "$base"
        # About ten seconds; no display is needed for it.
        KW_DISPLAY="" kw_wine "$base" timeout 300 "$KW_WINE" wineboot -i >/dev/null 2>&1
        # Without a window manager (Xvfb) Wine waits for one whenever a managed window hides.
        KW_DISPLAY="" kw_reg "$base" add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f \
            >/dev/null
        KW_DISPLAY="" kw_wine "$base" timeout 60 "$KW_WINESERVER" -w
        touch "$base/.complete"
    ) 9>"$KW_ROOT/.base.lock"
}

kw_remove_base() {
    rm -rf "$KW_ROOT/base"
}

# A fresh prefix copied from the base; prints its path. The system folders, which Wine never
# writes, are hard links.
kw_new_prefix() {
    kw_ensure_base
    local prefix
    prefix="$(mktemp -d "$KW_ROOT/$1.XXXXXX")"
    kw_own "$prefix"
    "${KW_AS[@]}" bash -c '
        base="$1"; prefix="$2"
        cd "$base"
        for entry in * .[!.]*; do
            [ -e "$entry" ] || continue
            [ "$entry" = drive_c ] || cp -a "$entry" "$prefix/"
        done
        mkdir -p "$prefix/drive_c/windows"
        for entry in drive_c/* drive_c/windows/*; do
            case "$entry" in
                drive_c/windows) ;;
                drive_c/windows/system32 | drive_c/windows/winsxs) cp -al "$entry" "$prefix/$entry" ;;
                *) cp -a "$entry" "$prefix/$entry" ;;
            esac
        done' _ "$KW_ROOT/base" "$prefix"
    echo "$prefix"
}

# Ends every process of the prefix $1 and removes it.
kw_end_prefix() {
    local prefix="$1"
    [ -d "$prefix" ] || return 0
    kw_wine "$prefix" timeout 30 "$KW_WINESERVER" -k >/dev/null 2>&1 || true
    kw_wine "$prefix" timeout 30 "$KW_WINESERVER" -w >/dev/null 2>&1 || true
    rm -rf "$prefix"
}

# Starts a virtual X display of our own (KW_DISPLAY, ended by kw_stop_display).
kw_start_display() {
    local fifo
    fifo="$(mktemp -u "$KW_ROOT/.display.XXXXXX")"
    mkfifo "$fifo"
    Xvfb -displayfd 3 -nolisten tcp -ac -screen 0 1024x768x24 3>"$fifo" >/dev/null 2>&1 &
    KW_DISPLAY_PID=$!
    local number=""
    read -r -t 30 number <"$fifo" || true
    rm -f "$fifo"
    if [ -z "$number" ]; then
        echo "Xvfb did not start" >&2
        kw_stop_display
        exit 1
    fi
    KW_DISPLAY=":$number"
}

kw_stop_display() {
    if [ -n "$KW_DISPLAY_PID" ]; then
        kill "$KW_DISPLAY_PID" 2>/dev/null || true
        wait "$KW_DISPLAY_PID" 2>/dev/null || true
        KW_DISPLAY_PID=""
    fi
}
