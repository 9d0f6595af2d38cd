# Sourced: the project's private Wine prefix and the settings every Wine run uses.
# Defines wine_for BITS (prints the loader) and ensure_wine_prefix.

LINEPROBE_ROOT=${LINEPROBE_ROOT:-$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)}
export WINEPREFIX=${WINEPREFIX:-$LINEPROBE_ROOT/build/wineprefix}
export WINEARCH=win64
export WINEDEBUG=${WINEDEBUG:--all}
# No Mono or Gecko installer may ever wait for a click; no desktop menu entries;
# a crashing program ends at once instead of waiting in the debugger.
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d;winedbg.exe=d"
export WINESERVER=/usr/lib/wine/wineserver64

wine_for() {
    case "$1" in
        win32) echo /usr/lib/wine/wine ;;
        win64) echo /usr/lib/wine/wine64 ;;
        *) echo "unknown bitness: $1" >&2; return 1 ;;
    esac
}

# A system program of the given bitness by its full path: started by its bare
# name, Wine now and then answers that the application could not be started.
system_tool() {
    if [ "$1" = win32 ]; then echo "C:\\windows\\syswow64\\$2.exe"; else echo "C:\\windows\\system32\\$2.exe"; fi
}

# Windows form of a Unix path, through Wine's Z: drive.
winpath() {
    local p
    p=$(realpath -m "$1")
    echo "Z:${p//\//\\}"
}

ensure_wine_prefix() {
    [ -f "$WINEPREFIX/system.reg" ] && [ -f "$WINEPREFIX/.lineprobe-ready" ] && return 0
    mkdir -p "$(dirname "$WINEPREFIX")"
    (
        flock 9
        if [ ! -f "$WINEPREFIX/.lineprobe-ready" ]; then
            echo "creating the Wine prefix $WINEPREFIX" >&2
            /usr/lib/wine/wine64 wineboot -i >/dev/null 2>&1
            "$WINESERVER" -w
            touch "$WINEPREFIX/.lineprobe-ready"
        fi
    ) 9>"$WINEPREFIX.lock"
}
