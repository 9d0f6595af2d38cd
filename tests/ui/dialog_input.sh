#!/usr/bin/env bash
# The dialog through the real input path: a VBScript host waits in ec_showGUI
# inside a Wine desktop on the X display while xdotool types, tabs, presses
# keys and clicks like a person; the host then reports ec_parameter. Saves a
# screenshot of the dialog as dialog-<bits>.png in the build folder.
set -uo pipefail
root=${LINEPROBE_ROOT:?}
bits=${LINEPROBE_BITS:?}
build=${LINEPROBE_BUILD_DIR:?}
source "$root/scripts/lib/wine-env.sh"
source "$root/tests/lib/shtest.sh"
shtest_begin "ui_dialog_input_$bits"

loader=$(wine_for "$bits")
case $bits in
    win32) system='C:\windows\syswow64' ;;
    *) system='C:\windows\system32' ;;
esac
work=$build/ui-input
mkdir -p "$work"
host=$(winpath "$root/tests/ui/clients/showgui.vbs")
dll=$(winpath "$build/comlineprobe.dll")
title='^Word in First Line: External COM check'

if [ -z "${DISPLAY:-}" ] || ! xdotool getmouselocation >/dev/null 2>&1; then
    shtest_fail setup "no X display to drive (DISPLAY=${DISPLAY:-})"
    shtest_end
    exit 1
fi
ensure_wine_prefix >/dev/null 2>&1 </dev/null

# Wine's helper processes outlive the programs that start them: they get no
# handle to the test's output, or the test would wait for them.
"$loader" "$system\\regsvr32.exe" /s "$dll" >"$work/regsvr32.log" 2>&1 </dev/null
shtest_expect_eq registers "$?" 0
trap '"$loader" "$system\\regsvr32.exe" /s /u "$dll" >>"$work/regsvr32.log" 2>&1 </dev/null' EXIT

# Every step waits for the state it needs before it types, checking five times
# a second; the limit is one only a hang reaches (the 32-bit host runs
# emulated, and the machine may be busy). `missed` keeps the first state that
# never came, for the failure message.
patience=120
missed=""
await() {
    local end=$((SECONDS + patience))
    until "$@"; do
        [ "$SECONDS" -lt "$end" ] || return 1
        sleep 0.2
    done
}
# need STATE COMMAND...: waits until COMMAND succeeds; remembers STATE when it never does.
need() {
    local state=$1
    shift
    await "$@" && return 0
    [ -n "$missed" ] || missed=$state
    return 1
}
visible_window() { xdotool search --onlyvisible --name "$1" 2>/dev/null | head -n 1; }
shows() { [ -n "$(visible_window "$1")" ]; }
gone() { ! shows "$1"; }
focused() { [ "$(xdotool getwindowfocus 2>/dev/null)" = "$1" ]; }
focus_on() { xdotool windowfocus "$1" 2>/dev/null; focused "$1"; }
reported() { grep -q '^END' "$result" 2>/dev/null; }
message_box='^Word in First Line$'

# Starts the host in a Wine desktop of its own and waits until the dialog
# shows and has the keyboard focus; sets $dialog to its X window. Arguments:
# case name, timeout, parameter...
show() {
    result=$work/$1.txt
    rm -f "$result"
    missed=""
    # The desktop is always Wine's 64-bit explorer; the host has the bitness under test.
    "$(wine_for win64)" explorer "/desktop=lineprobe-$bits,800x600" "$system\\cscript.exe" //nologo "$host" "$2" \
        "$(winpath "$result")" "${@:3}" >"$work/$1.log" 2>&1 </dev/null &
    need "the dialog to show" shows "$title" || return 1
    dialog=$(visible_window "$title")
    need "the dialog to have the keyboard focus" focus_on "$dialog"
}

# expect_parameter NAME EXPECTED: the host's ec_parameter, once it reports,
# or the first state that never came.
expect_parameter() {
    [ -n "$missed" ] || need "the host to report its ec_parameter" reported
    if [ -n "$missed" ]; then
        shtest_fail "$1" "never came: $missed (see $work/$1.log)"
    else
        shtest_expect_eq "$1" "$(sed -n 's/^PARAMETER=\[\(.*\)\]\r\{0,1\}$/\1/p' "$result")" "$2"
    fi
}

# expect_box NAME STATE: passes once the dialog's message box shows.
expect_box() {
    if need "$2" shows "$message_box"; then
        shtest_pass "$1"
    else
        shtest_fail "$1" "never came: $2"
        return 1
    fi
}

# Closes the message box with Enter and gives the dialog the keys again: in
# Wine's desktop the X focus may stay elsewhere when the box has gone.
close_box() {
    keys Return
    need "the message box to close" gone "$message_box" &&
        need "the keyboard focus back on the dialog" focus_on "$dialog"
}

keys() { xdotool key --delay 60 "$@"; }
typed() { xdotool type --delay 40 "$1"; }

# 1. Typing, the Tab ring both ways, Escape and Enter in a box, a refused
#    max. age, then Alt+O.
typing_case() {
    keys Tab; typed 'C:\logs\state.txt'
    keys Tab; typed 'monitor '
    keys Tab; typed 's3cret'
    keys Tab; typed 'ALIVE'          # entering a box selects its text: "up" is replaced
    keys Tab; typed 'DEAD'
    keys Tab; typed '90'             # the max. age box
    keys Tab Tab Tab                 # over Test, round to OK and on to the log file box, its text selected
    keys shift+Tab shift+Tab shift+Tab shift+Tab   # back over OK, Test and the max. age box to the down box
    typed 'FA'
    keys Return; typed 'I'           # Enter in a box does not press OK
    keys Escape; typed 'L'           # Escape does nothing
    sleep 0.5                        # only the picture waits for the typing to show; nothing depends on it
    import -window "$dialog" "$build/dialog-$bits.png" 2>/dev/null
    keys Tab; typed 'soon'           # on to the max. age box, its text selected
    keys alt+o                       # "soon" is no number of minutes: refused, the dialog stays
    expect_box max_age_refused "the message box for the max. age" || return
    close_box || return              # the max. age box has the focus again, its text selected
    typed '90'
    keys alt+t                       # Test: the answer comes in a message box, nothing is stored
    expect_box alt_t_answers "the message box with the answer" || return
    close_box || return
    keys alt+o
}
if show typing 30; then
    typing_case
    expect_parameter typing_tab_ring_alt_o \
        '#LOGFILE=C:\logs\state.txt#USER=monitor#PW=czNjcmV0#UP=ALIVE#DOWN=FAIL#MAXAGE=90#'
    [ -s "$build/dialog-$bits.png" ] && shtest_pass screenshot || shtest_fail screenshot "no $build/dialog-$bits.png"
else
    shtest_fail typing_tab_ring_alt_o "never came: $missed (see $work/typing.log)"
fi

# 2. A click on the title bar's close button: the host keeps its parameter.
old='#LOGFILE=\\srv\share\state.txt#USER=svc#PW=cHc=#UP=OK#DOWN=FAIL#'
if show close_button 30 "$old"; then
    keys Tab; typed 'changed'
    eval "$(xdotool getwindowgeometry --shell "$dialog")"
    # The close button is the rightmost of the caption's buttons.
    xdotool mousemove --window "$dialog" $((WIDTH - 12)) 12 click 1
    expect_parameter close_button_keeps_parameter "$old"
else
    shtest_fail close_button_keeps_parameter "never came: $missed (see $work/close_button.log)"
fi

shtest_end
