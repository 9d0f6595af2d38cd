#!/usr/bin/env bash
# lineprobe.exe of one bitness under Wine, as administrators and monitoring
# systems run it: exit codes, the password kept out of every output, a check
# without registration, registration, the dialog and bad arguments.
set -uo pipefail
source "$LINEPROBE_ROOT/tests/lib/shtest.sh"
source "$LINEPROBE_ROOT/scripts/lib/wine-env.sh"
source "$LINEPROBE_ROOT/tests/net/with-standin-server.sh"
ensure_wine_prefix

shtest_begin tool_cli

loader=$(wine_for "$LINEPROBE_BITS")
tool=$LINEPROBE_BUILD_DIR/lineprobe.exe
dll=$LINEPROBE_BUILD_DIR/comlineprobe.dll
wdll=$(winpath "$dll")
work=$(mktemp -d)
registered=0

cleanup() {
    # The prefix is shared with the other bitness's run: leave no registration behind.
    [ "$registered" = 1 ] && "$loader" "$tool" unregister </dev/null >/dev/null 2>&1
    standin_stop
    rm -rf "$work"
}
trap cleanup EXIT

if [ ! -f "$tool" ] || [ ! -f "$dll" ]; then
    shtest_fail built "lineprobe.exe and comlineprobe.dll must be built in $LINEPROBE_BUILD_DIR"
    shtest_end
    exit 1
fi

# Longest a run without a dialog may take (the 32-bit one runs emulated); a
# window that opens by mistake must not hang the test.
limit=120

# lp [ARGS...]: runs the tool with standard input from $LP_STDIN (default
# nothing); sets RC, OUT (stdout, line breaks as LF) and ERR.
lp() {
    timeout "$limit" "$loader" "$tool" "$@" <"${LP_STDIN:-/dev/null}" >"$work/out" 2>"$work/err"
    RC=$?
    OUT=$(tr -d '\r' <"$work/out")
    ERR=$(tr -d '\r' <"$work/err")
}

# lp_piped TEXT [ARGS...]: lp with TEXT and a line break piped to standard input.
lp_piped() {
    local text=$1
    shift
    printf '%s\r\n' "$text" | timeout "$limit" "$loader" "$tool" "$@" >"$work/out" 2>"$work/err"
    RC=$?
    OUT=$(tr -d '\r' <"$work/out")
    ERR=$(tr -d '\r' <"$work/err")
}

# expect NAME RC PATTERN: exit code and a glob that the whole stdout must match.
expect() {
    local name=$1 rc=$2 pattern=$3
    if [ "$RC" = 137 ] && [[ "$OUT" == $pattern ]]; then
        # Not this script (it sends SIGTERM) nor CTest (a timeout): the wineserver
        # kills a process still alive after its Windows side ended, as seen
        # under qemu on a loaded machine. Still a failure, told apart.
        shtest_fail "$name" "right answer, then killed by SIGKILL from outside (the wineserver?); stderr [$ERR]"
    elif [ "$RC" != "$rc" ]; then
        shtest_fail "$name" "exit code $RC, expected $rc; stdout [$OUT] stderr [$ERR]"
    elif [[ "$OUT" != $pattern ]]; then
        shtest_fail "$name" "stdout [$OUT] does not match [$pattern]; stderr [$ERR]"
    else
        shtest_pass "$name"
    fi
}

# expect_err NAME RC PATTERN: a failure told on stderr in one line, nothing on stdout.
expect_err() {
    local name=$1 rc=$2 pattern=$3
    if [ "$RC" != "$rc" ] || [ -n "$OUT" ] || [[ "$ERR" != $pattern ]] || [ "$(wc -l <<<"$ERR")" != 1 ]; then
        shtest_fail "$name" "exit code $RC (expected $rc); stdout [$OUT]; stderr [$ERR] should match [$pattern]"
    else
        shtest_pass "$name"
    fi
}

# lit TEXT: TEXT as a glob that matches only itself (Windows paths hold backslashes).
lit() {
    printf '%s' "$1" | sed 's/[][\\*?]/\\&/g'
}

# no_secret NAME: neither the password nor its PW form appears in any output.
no_secret() {
    if grep -q -e "$secret" -e "$secret_pw" "$work/out" "$work/err"; then
        shtest_fail "$1" "the password shows: stdout [$OUT] stderr [$ERR]"
    else
        shtest_pass "$1"
    fi
}

# expect_trace NAME STEPS [PATTERN]: the steps of the trace on stderr in this
# order, stderr matching PATTERN, and no password, PW value or file line in it.
expect_trace() {
    local steps
    steps=$(sed -n 's/^comlineprobe\[[0-9]*\] +[0-9.]* ms: \([a-z]*\): .*/\1/p' <<<"$ERR" | tr '\n' ' ')
    if [ "$steps" != "$2 " ] || [[ "$ERR" != ${3:-*} ]]; then
        shtest_fail "$1" "steps [$steps], expected [$2]; stderr [$ERR]"
    elif grep -q -e Secret1 -e U2VjcmV0MQ -e Wr0ngPass -e V3IwbmdQYXNz -e 10:00 -e 'is fine' <<<"$ERR"; then
        shtest_fail "$1" "the trace shows a password or a line of the file: [$ERR]"
    else
        shtest_pass "$1"
    fi
}

printf 'STATUS OK at 10:00\r\nall is fine\r\n' >"$work/up.txt"
printf 'STATUS FAIL\r\nGr\xfc\xdfe aus dem Lager\r\n' >"$work/down.txt"   # second line in Windows-1252
printf 'STATUS UNKNOWN\r\nnothing\r\n' >"$work/neither.txt"
up=$(winpath "$work/up.txt")
down=$(winpath "$work/down.txt")
neither=$(winpath "$work/neither.txt")
missing=$(winpath "$work/missing.txt")
L_wdll=$(lit "$wdll")
L_down=$(lit "$down")
L_mask=$(lit '********')
secret='Sesam0pen'
secret_pw='U2VzYW0wcGVu'   # its base64 form, as the PW field holds it

# --- exit codes: 0 up, 2 down, 3 for an "ERR: " result --------------------
lp check --dll "$wdll" --logfile "$up" --up OK --down FAIL
expect exit_0_up 0 'all is fine'
lp check --dll "$wdll" --logfile "$up" --up OK --down FAIL --trace
expect trace_keeps_the_result 0 'all is fine'
expect_trace trace_of_local_check 'fields path open read verdict'
lp check --dll "$wdll" --logfile "$down" --up OK --down FAIL
expect exit_2_down_second_line_in_utf8 2 'Grüße aus dem Lager'
lp check --dll "$wdll" --logfile "$missing" --up OK --down FAIL
expect exit_3_missing_file 3 'ERR: *'
lp check --dll "$wdll" --logfile "$neither" --up OK --down FAIL
expect exit_3_no_word 3 'ERR: None found'
lp check --dll "$wdll" --param "#LOGFILE=$down#USER=#PW=#UP=OK#DOWN=FAIL#" --verbose
expect param_string_verbose 2 "Grüße aus dem Lager
parameter: #LOGFILE=$L_down#USER=#PW=#UP=OK#DOWN=FAIL#
verdict: down
object: loaded from $L_wdll without registration"

# --- --max-age: the MAXAGE field in the parameter string the tool builds --
printf 'STATUS OK\r\nfresh\r\n' >"$work/fresh.txt"
fresh=$(winpath "$work/fresh.txt")
lp check --dll "$wdll" --logfile "$fresh" --up OK --down FAIL --max-age 60 --verbose
expect max_age_field_built 0 "fresh
parameter: #LOGFILE=$(lit "$fresh")#USER=#PW=#UP=OK#DOWN=FAIL#MAXAGE=60#
*"
lp check --dll "$wdll" --logfile "$fresh" --up OK --down FAIL --max-age 0
expect_err max_age_zero_refused 3 'lineprobe: *MAXAGE must be a whole number of minutes from 1 to 525600'

# --- the password never appears ------------------------------------------
# A share path makes the check use the password; Wine refuses the connection at once.
share='\\nosuchserver\logs\state.txt'
L_share=$(lit "$share")
printf '%s\r\n' "$secret" >"$work/password"
LP_STDIN=$work/password lp check --dll "$wdll" --logfile "$share" --up OK --down FAIL --user bob --verbose
expect password_from_stdin_masked 3 "ERR: *\(authentication\)
parameter: #LOGFILE=$L_share#USER=bob#PW=$L_mask#UP=OK#DOWN=FAIL#
verdict: down
object: *"
no_secret password_from_stdin_not_shown
LP_SECRET=$secret lp check --dll "$wdll" --logfile "$share" --up OK --down FAIL --user bob \
    --password-env LP_SECRET --verbose
expect password_from_environment_masked 3 "ERR: *
parameter: #LOGFILE=$L_share#USER=bob#PW=$L_mask#UP=OK#DOWN=FAIL#
*"
no_secret password_from_environment_not_shown
with_password="#LOGFILE=$share#USER=bob#PW=$secret_pw#UP=OK#DOWN=FAIL#"
lp_piped "$with_password" check --dll "$wdll" --param - --verbose
expect param_from_pipe_masked 3 "ERR: *\(authentication\)
parameter: #LOGFILE=$L_share#USER=bob#PW=$L_mask#UP=OK#DOWN=FAIL#
*"
no_secret param_from_pipe_not_shown
LP_PARAM=$with_password lp check --dll "$wdll" --param-env LP_PARAM --verbose
expect param_from_environment_masked 3 "ERR: *\(authentication\)
parameter: #LOGFILE=$L_share#USER=bob#PW=$L_mask#UP=OK#DOWN=FAIL#
*"
no_secret param_from_environment_not_shown
lp check --dll "$wdll" --param "$with_password"
expect_err password_in_param_refused 3 'lineprobe: *--param -*--param-env NAME*'
no_secret password_in_param_not_shown
lp check --dll "$wdll" --param-env LP_UNSET_VARIABLE
expect param_variable_unset 3 'ERR: the environment variable LP_UNSET_VARIABLE is not set'
lp check --dll "$wdll" --param -
expect no_param_on_stdin 3 'ERR: no parameter string on standard input'
lp check --logfile "$share" --up OK --down FAIL --user bob --password "$secret"
expect_err password_on_command_line_refused 3 'lineprobe: *standard input*'
no_secret password_on_command_line_not_shown
lp check --logfile "$share" --up OK --down FAIL --user bob "-p$secret"
expect_err password_glued_to_option_refused 3 'lineprobe: *standard input*'
no_secret password_glued_to_option_not_shown
lp check --dll "$wdll" --logfile "$share" --up OK --down FAIL --user bob
expect no_password_on_stdin 3 'ERR: no password on standard input*'
lp check --dll "$wdll" --logfile "$share" --up OK --down FAIL --user bob --password-env LP_UNSET_VARIABLE
expect password_variable_unset 3 'ERR: the environment variable LP_UNSET_VARIABLE is not set'

# The trace of a share check through the stand-in file server: a logon made, a logon refused.
standin_start "$LINEPROBE_BITS" "$LINEPROBE_BUILD_DIR/standinnp.dll"
printf 'STATUS OK\r\nshare is fine\r\n' >"$standin_root/fileserver/logs.offline/state.txt"
LP_SECRET=Secret1 lp check --dll "$wdll" --logfile '\\fileserver\logs\state.txt' --up OK --down FAIL --user monitor \
    --password-env LP_SECRET --trace
expect_trace trace_of_logon_made 'fields path logon logon logon open read verdict cancel' '*logon: connected after *'
LP_SECRET=Wr0ngPass lp check --dll "$wdll" --logfile '\\fileserver\logs\state.txt' --up OK --down FAIL \
    --user monitor --password-env LP_SECRET --trace
expect_trace trace_of_logon_refused 'fields path logon logon logon verdict cancel' '*logon: refused after *: Logon failure*'

# A server that answers a logon after 20 s: the answer comes at the limit, and
# the tool waits only a little for the logon it leaves behind. 64-bit only:
# 32-bit Wine under qemu may crash a process that ends while another of its
# threads still runs.
if [ "$LINEPROBE_BITS" = win64 ]; then
    started=$SECONDS
    LP_SECRET=Secret1 lp check --dll "$wdll" --logfile '\\stuckfiler\logs\state.txt' --up OK --down FAIL --user monitor \
        --password-env LP_SECRET --timeout 1 --trace
    took=$((SECONDS - started))
    expect stuck_server_answered_at_the_limit 3 'ERR: No answer from stuckfiler within 1 second (authentication)'
    if [ "$took" -lt 15 ]; then shtest_pass stuck_server_left_behind
    else shtest_fail stuck_server_left_behind "the tool took ${took} s; stderr [$ERR]"; fi
    expect_trace trace_of_logon_timed_out 'limit fields path logon logon limit' '*limit: no answer in time; handed back *'
    # A logon that takes 1 s ends soon after a limit of 1 s: the tool waits for it.
    LP_SECRET=Secret1 lp check --dll "$wdll" --logfile '\\lagfiler\logs\state.txt' --up OK --down FAIL --user monitor \
        --password-env LP_SECRET --timeout 1
    if [[ "$ERR" != *"still running"* ]]; then shtest_pass exit_waits_for_work_that_ends_soon
    else shtest_fail exit_waits_for_work_that_ends_soon "stdout [$OUT] stderr [$ERR]"; fi
fi
standin_stop

# --- the password codec --------------------------------------------------
printf ' %s \n' "$secret" >"$work/encode"
LP_STDIN=$work/encode lp encode-password
expect encode_password_trims_like_the_dialog 0 "$secret_pw"
printf '%s\r\n' "$secret_pw" >"$work/decode"
LP_STDIN=$work/decode lp decode-password
expect decode_password 0 "$secret"
printf '=YWJ\n' >"$work/bad"
LP_STDIN=$work/bad lp decode-password
expect_err decode_password_rejects 3 'lineprobe: this is no PW value: *'
# Read leniently, as the component reads it, and said so on stderr.
printf 'U2Vj!!!\n' >"$work/odd"
LP_STDIN=$work/odd lp decode-password
if [ "$RC" = 0 ] && [[ "$ERR" == 'lineprobe: warning: the PW value is not well-formed base64 ('*')'* ]] &&
    cmp -s <(tr -d '\r' <"$work/out") <(printf 'Sec\0\0\n'); then
    shtest_pass decode_password_warns_of_odd_base64
else
    shtest_fail decode_password_warns_of_odd_base64 "exit code $RC; stdout $(od -An -c "$work/out"); stderr [$ERR]"
fi

# --- without registration: --dll, and nothing beside the tool ------------
mkdir -p "$work/solo"
cp "$tool" "$work/solo/"
solo_lp() {
    timeout "$limit" "$loader" "$work/solo/lineprobe.exe" "$@" </dev/null >"$work/out" 2>"$work/err"
    RC=$?
    OUT=$(tr -d '\r' <"$work/out")
    ERR=$(tr -d '\r' <"$work/err")
}
solo_lp check --dll "$dll" --logfile "$up" --up OK --down FAIL --verbose
expect dll_option_without_registration 0 "all is fine
parameter: *
verdict: up
object: loaded from $L_wdll without registration"

# --- registration through the DLL's own entry points ---------------------
lp register
registered=1
expect register 0 "registered $L_wdll"
lp check --logfile "$up" --up OK --down FAIL --verbose
expect check_by_progid 0 "all is fine
*
object: created by ProgID comlineprobe.lineprobeCom from $L_wdll"
lp --version
expect version_of_registered_dll 0 "lineprobe 1.0.0.15
comlineprobe.dll 1.0.0.15 (registered: $L_wdll)"
lp unregister
expect unregister 0 "unregistered $L_wdll"
registered=0
lp --version
expect version_of_dll_beside 0 "lineprobe 1.0.0.15
comlineprobe.dll 1.0.0.15 (beside lineprobe.exe: $L_wdll)"
solo_lp check --logfile "$up" --up OK --down FAIL
expect no_registration_no_dll 3 'ERR: *not registered*--dll PATH'
lp register --dll "$(winpath "$work/nothing-here.dll")"
expect_err register_missing_dll 3 'lineprobe: cannot load *(HRESULT 0x8007007E)*'

# --- configure: the dialog closed by OK and by the close button ----------
# await SECONDS COMMAND...: true once COMMAND succeeds, false when the time is up.
await() {
    local end=$((SECONDS + $1))
    shift
    until "$@"; do
        [ "$SECONDS" -lt "$end" ] || return 1
        sleep 0.2
    done
}
process_ended() { ! kill -0 "$1" 2>/dev/null; }
# await_dialog PID: prints the X window of the process's dialog once it shows;
# fails when the process ends first or the limit passes.
await_dialog() {
    local id
    await "$limit" dialog_or_end "$1" || return 1
    id=$(xdotool search --onlyvisible --pid "$1" --name '^Word in First Line' 2>/dev/null | head -1)
    [ -n "$id" ] && echo "$id"
}
dialog_or_end() {
    xdotool search --onlyvisible --pid "$1" --name '^Word in First Line' >/dev/null 2>&1 || process_ended "$1"
}
# configure_with KEYS ARGS...: runs configure, presses KEYS in its dialog once
# the dialog shows and has the keyboard focus, and waits for the tool to end;
# ERR names the state that never came.
configure_with() {
    local keys=$1 id="" missed=""
    shift
    "$loader" "$tool" configure --dll "$wdll" "$@" </dev/null >"$work/out" 2>"$work/err" &
    local pid=$!
    if ! id=$(await_dialog "$pid"); then
        missed="the dialog never showed"
    elif ! timeout "$limit" xdotool windowfocus --sync "$id" 2>/dev/null; then
        missed="the dialog never had the keyboard focus"
    else
        # A key that comes before the dialog's own loop runs is lost: pressed
        # again every few seconds until the tool has ended.
        local end=$((SECONDS + limit))
        until process_ended "$pid"; do
            [ "$SECONDS" -lt "$end" ] || { missed="the dialog did not close after $keys"; break; }
            xdotool key "$keys"
            await 5 process_ended "$pid" || true
        done
    fi
    if [ -n "$missed" ] && kill -0 "$pid" 2>/dev/null; then
        kill "$pid"
    fi
    wait "$pid"
    RC=$?
    OUT=$(tr -d '\r' <"$work/out")
    ERR=${missed:+$missed; }$(tr -d '\r' <"$work/err")
}
stored='#logfile=C:\logs\a.txt#USER=bob #PW=YWJj#UP=OK#'
kept='#LOGFILE=C:\logs\a.txt#USER=#PW=#UP=OK#DOWN=FAIL#MAXAGE=15#'
if [ -z "${DISPLAY:-}" ]; then
    shtest_fail configure "no X display for the dialog (set DISPLAY)"
else
    LP_PARAM=$stored configure_with alt+o --param-env LP_PARAM --timeout 30
    expect configure_ok_rebuilds_the_string 0 "$(lit '#LOGFILE=C:\logs\a.txt#USER=bob#PW=YWJj#UP=OK#DOWN=#')"
    configure_with alt+F4 --param "$kept"
    expect configure_closed_keeps_the_string 0 "$(lit "$kept")"
fi
# A PW value the decoder rejects makes ec_showGUI fail before any window shows.
lp_piped '#PW==YWJ#' configure --dll "$wdll" --param -
expect_err configure_failure_in_words 3 'lineprobe: ec_showGUI failed: * (HRESULT 0x800A0005)'
lp configure --dll "$wdll" --param "$stored"
expect_err configure_password_in_param_refused 3 'lineprobe: *--param -*'

# --- bad arguments: one line on stderr, exit code 3 ----------------------
lp --help
expect help 0 '*lineprobe check --param STRING*lineprobe configure*lineprobe --version*'
# A host that calls the tool without arguments must not read "up".
lp
if [ "$RC" = 3 ] && [ -z "$OUT" ] && [[ "$ERR" == *'lineprobe check --param STRING'* ]]; then
    shtest_pass no_arguments_usage_on_stderr
else
    shtest_fail no_arguments_usage_on_stderr "exit code $RC (expected 3); stdout [$OUT]; stderr [$ERR]"
fi
lp --verbose
expect_err no_command 3 'lineprobe: no command given*'
lp check --dll "$wdll" --logfile "$up" --up OK --down FAIL --frobnicate
expect_err unknown_option 3 'lineprobe: unknown option "--frobnicate"'
lp check --param "#UP=x#" --logfile "$up"
expect_err param_with_fields 3 'lineprobe: --param cannot be combined with *'
lp check --dll "$wdll" --logfile "$up" --up OK --down FAIL "--Pw$secret"
expect_err unknown_option_not_repeated 3 'lineprobe: an unknown option at position 10'
no_secret unknown_option_not_shown
lp configure --timeout soon
expect_err timeout_not_a_number 3 'lineprobe: --timeout needs a whole number of seconds from 1 to 86400'

shtest_end
