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

# A run that changes the shared prefix for a while (the stand-in file server's
# registration, a registered package) leaves the commands that undo it in
# $WINEPREFIX/lineprobe-undo/NAME while it runs. A test killed by its time
# limit never runs its own clean-up: the next use of the prefix runs them.
#   undo_later NAME COMMANDS    (replaces what NAME left before)
#   undo_done NAME
undo_later() {
    mkdir -p "$WINEPREFIX/lineprobe-undo"
    printf '# owner %s\n%s\n' "$(process_identity $$)" "$2" >"$WINEPREFIX/lineprobe-undo/$1"
}
undo_done() { rm -f "$WINEPREFIX/lineprobe-undo/$1"; }

# The process id and start time (the same id may come back for another
# process); a killed process that its parent has not reaped yet has none.
process_identity() { echo "$1 $(awk '$3 != "Z" { print $22 }' "/proc/$1/stat" 2>/dev/null)"; }

undo_leftovers() {
    local file owner
    for file in "$WINEPREFIX"/lineprobe-undo/*; do
        [ -f "$file" ] && [ "${file%.running}" = "$file" ] || continue
        owner=$(sed -n '1s/^# owner //p' "$file")
        [ "$owner" != "$(process_identity "${owner%% *}")" ] || continue
        # Only one of several runs that find it undoes it.
        mv "$file" "$file.running" 2>/dev/null || continue
        echo "undoing what a killed run left in the Wine prefix: ${file##*/}" >&2
        bash "$file.running" >/dev/null 2>&1 || true
        rm -f "$file.running"
    done
    return 0
}

ensure_wine_prefix() {
    [ -f "$WINEPREFIX/system.reg" ] && [ -f "$WINEPREFIX/.lineprobe-ready" ] && undo_leftovers && return 0
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
