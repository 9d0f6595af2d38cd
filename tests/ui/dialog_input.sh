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

# Starts the host in a Wine desktop of its own and waits for the dialog;
# sets $dialog to its X window. Arguments: case name, timeout, parameter...
# Prints the first visible window whose title matches, waiting up to the
# given tenths of a second; prints nothing when none comes.
visible_window() {
    local id=
    for _ in $(seq "$2"); do
        id=$(xdotool search --onlyvisible --name "$1" 2>/dev/null | head -n 1)
        [ -n "$id" ] && break
        sleep 0.1
    done
    echo "$id"
}

show() {
    result=$work/$1.txt
    rm -f "$result"
    # The desktop is always Wine's 64-bit explorer; the host has the bitness under test.
    "$(wine_for win64)" explorer "/desktop=lineprobe-$bits,800x600" "$system\\cscript.exe" //nologo "$host" "$2" \
        "$(winpath "$result")" "${@:3}" >"$work/$1.log" 2>&1 </dev/null &
    dialog=$(visible_window "$title" 600)
    [ -n "$dialog" ] || return 1
    sleep 0.3
    xdotool windowfocus --sync "$dialog" 2>/dev/null || xdotool windowfocus "$dialog"
}

# Waits for the host to report and prints its ec_parameter.
parameter_after() {
    for _ in $(seq 600); do
        grep -q '^END' "$result" 2>/dev/null && break
        sleep 0.1
    done
    sed -n 's/^PARAMETER=\[\(.*\)\]\r\{0,1\}$/\1/p' "$result" 2>/dev/null
}

keys() { xdotool key --delay 60 "$@"; }
typed() { xdotool type --delay 40 "$1"; }

# 1. Typing, the Tab ring both ways, Escape and Enter in a box, a refused
#    max. age, then Alt+O.
if show typing 30; then
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
    sleep 0.5
    import -window "$dialog" "$build/dialog-$bits.png" 2>/dev/null
    keys Tab; typed 'soon'           # on to the max. age box, its text selected
    keys alt+o                       # "soon" is no number of minutes: refused, the dialog stays
    sleep 1
    refusal=$(visible_window '^Word in First Line$' 1)
    [ -n "$refusal" ] && shtest_pass max_age_refused || shtest_fail max_age_refused "no message box for the max. age"
    keys Return                      # closes the message box; the max. age box has the focus, its text selected
    sleep 0.5
    typed '90'
    keys alt+t                       # Test: the answer comes in a message box, nothing is stored
    answer=$(visible_window '^Word in First Line$' 300)
    [ -n "$answer" ] && shtest_pass alt_t_answers || shtest_fail alt_t_answers "no message box with the answer"
    keys Return
    sleep 0.5
    keys alt+o
    shtest_expect_eq typing_tab_ring_alt_o "$(parameter_after)" \
        '#LOGFILE=C:\logs\state.txt#USER=monitor#PW=czNjcmV0#UP=ALIVE#DOWN=FAIL#MAXAGE=90#'
    [ -s "$build/dialog-$bits.png" ] && shtest_pass screenshot || shtest_fail screenshot "no $build/dialog-$bits.png"
else
    shtest_fail typing_tab_ring_alt_o "no dialog appeared (see $work/typing.log)"
fi

# 2. A click on the title bar's close button: the host keeps its parameter.
old='#LOGFILE=\\srv\share\state.txt#USER=svc#PW=cHc=#UP=OK#DOWN=FAIL#'
if show close_button 30 "$old"; then
    keys Tab; typed 'changed'
    eval "$(xdotool getwindowgeometry --shell "$dialog")"
    # The close button is the rightmost of the caption's buttons.
    xdotool mousemove --window "$dialog" $((WIDTH - 12)) 12 click 1
    shtest_expect_eq close_button_keeps_parameter "$(parameter_after)" "$old"
else
    shtest_fail close_button_keeps_parameter "no dialog appeared (see $work/close_button.log)"
fi

shtest_end
