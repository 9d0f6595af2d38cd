#!/usr/bin/env bash
# The 32-bit and the 64-bit DLL registered side by side in one prefix, through
# the real regsvr32 of each bitness, in both orders: unregistering one leaves
# the other working for a script host of its bitness, a stale copy's /u leaves
# the live registration alone, /u through another name of the very files
# removes them, and unregistering both leaves nothing behind.
# Runs from the 64-bit build; the 32-bit build folder is its sibling.
set -uo pipefail
source "$LINEPROBE_ROOT/tests/lib/shtest.sh"
source "$LINEPROBE_ROOT/scripts/lib/wine-env.sh"
ensure_wine_prefix

shtest_begin host_both_bitnesses

shtest_need_win32_beside
work=$(mktemp -d)
# A second drive letter onto the work folder, for /u through another name.
drive="$WINEPREFIX/dosdevices/k:"

# Copies of their own, so that the registry names this test's files only.
mkdir -p "$work/win32" "$work/win64" "$work/stale32" "$work/stale64"
cp "$win32/comlineprobe.dll" "$work/win32/" && cp "$win32/comlineprobe.dll" "$work/stale32/"
cp "$win64/comlineprobe.dll" "$work/win64/" && cp "$win64/comlineprobe.dll" "$work/stale64/"
printf 'OK all fine\r\nside by side\r\n' >"$work/status.txt"

dll() { winpath "$work/$1/comlineprobe.dll"; }
# regsvr_path BITS PATH [/u]: the regsvr32 of that bitness on a Windows path.
regsvr_path() { "$(wine_for "$1")" "$(system_tool "$1" regsvr32)" /s ${3:-} "$2" </dev/null >/dev/null 2>&1; }
# regsvr BITS FOLDER [/u]: the same on a copy.
regsvr() { regsvr_path "$1" "$(dll "$2")" "${3:-}"; }
unregister_all() {
    local folder
    for folder in win32 win64; do regsvr "$folder" "$folder" /u; done
}
cleanup() {
    rm -f "$drive"
    unregister_all
    rm -rf "$work"
}
undo_later host_both_bitnesses "$(declare -p WINEPREFIX work drive; declare -f dll regsvr_path regsvr unregister_all cleanup)
$(declare -f wine_for system_tool winpath)
cleanup"
trap 'cleanup; undo_done host_both_bitnesses' EXIT

classes='HKLM\Software\Classes'
# value BITS KEY: the default value of a key in that registry view, or "none".
value() {
    local out
    out=$(/usr/lib/wine/wine64 "$(system_tool win64 reg)" query "$classes\\$2" /ve "/reg:${1#win}" </dev/null 2>/dev/null | tr -d '\r' |
        sed -n 's/^ *(Default) *REG_SZ *//p')
    echo "${out:-none}"
}
clsid=""
libid=""
# state: what each view registers, on one line.
state() {
    echo "progid=$(value win64 comlineprobe.lineprobeCom\\CLSID)" \
        "32=$(value win32 "CLSID\\$clsid\\InprocServer32")" \
        "64=$(value win64 "CLSID\\$clsid\\InprocServer32")" \
        "tlb32=$(value win32 "TypeLib\\$libid\\1.0\\0\\win32")" \
        "tlb64=$(value win64 "TypeLib\\$libid\\1.0\\0\\win64")"
}
nothing="progid=none 32=none 64=none tlb32=none tlb64=none"
# expect_state NAME EXPECTED: the registry is still between the steps, so a
# reading that differs is taken once more (Wine's reg now and then fails to
# start under load, which reads as "none").
expect_state() {
    local now
    now=$(state)
    [ "$now" = "$2" ] || { sleep 1; now=$(state); }
    shtest_expect_eq "$1" "$now" "$2"
}
# A late-binding host of the given bitness running one check by ProgID.
cat >"$work/check.vbs" <<VBS
Set probe = CreateObject("comlineprobe.lineprobeCom")
probe.ec_parameter = "#LOGFILE=$(winpath "$work/status.txt")#USER=#PW=#UP=OK#DOWN=FAIL#"
WScript.Echo probe.ec_docheck & " " & probe.ec_result
VBS
script_check() { "$(wine_for "$1")" "$(system_tool "$1" cscript)" //nologo "$(winpath "$work/check.vbs")" </dev/null 2>&1 | tr -d '\r' | head -1; }
works="True side by side"

regsvr win32 win32
clsid=$(value win64 comlineprobe.lineprobeCom\\CLSID)
libid=$(value win32 "CLSID\\$clsid\\TypeLib")
both="progid=$clsid 32=$(dll win32) 64=$(dll win64) tlb32=$(dll win32) tlb64=$(dll win64)"
only32="progid=$clsid 32=$(dll win32) 64=none tlb32=$(dll win32) tlb64=none"
only64="progid=$clsid 32=none 64=$(dll win64) tlb32=none tlb64=$(dll win64)"

# --- 32 then 64; /u 32 first ------------------------------------------------
expect_state register_32 "$only32"
regsvr win64 win64
expect_state register_64_beside_32 "$both"
shtest_expect_eq both_32bit_host "$(script_check win32)" "$works"
shtest_expect_eq both_64bit_host "$(script_check win64)" "$works"
regsvr win32 win32 /u
expect_state unregister_32_keeps_64 "$only64"
shtest_expect_eq unregister_32_64bit_host "$(script_check win64)" "$works"
regsvr win64 win64 /u
expect_state unregister_both_leaves_nothing "$nothing"

# --- 64 then 32; /u 64 first ------------------------------------------------
regsvr win64 win64
expect_state register_64 "$only64"
regsvr win32 win32
expect_state register_32_beside_64 "$both"
regsvr win64 win64 /u
expect_state unregister_64_keeps_32 "$only32"
shtest_expect_eq unregister_64_32bit_host "$(script_check win32)" "$works"
regsvr win32 win32 /u
expect_state unregister_both_again_leaves_nothing "$nothing"

# --- stale copies ----------------------------------------------------------
regsvr win32 win32
regsvr win64 win64
regsvr win64 stale64 /u
regsvr win32 stale32 /u
expect_state stale_unregister_keeps_both "$both"
shtest_expect_eq stale_32bit_host "$(script_check win32)" "$works"
shtest_expect_eq stale_64bit_host "$(script_check win64)" "$works"

# Machine-wide keys: nothing of the class in the user's classes.
user=$(/usr/lib/wine/wine64 "$(system_tool win64 reg)" query "HKCU\\Software\\Classes\\CLSID\\$clsid" </dev/null >/dev/null 2>&1 && echo found)
shtest_expect_eq nothing_in_user_classes "${user:-none}" none

# --- the same files through another drive letter ----------------------------
ln -sfn "$work" "$drive"
regsvr_path win64 'K:\win64\comlineprobe.dll' /u
regsvr_path win32 'K:\win32\comlineprobe.dll' /u
rm -f "$drive"
expect_state other_name_unregisters_both "$nothing"

unregister_all
expect_state cleanup_leaves_nothing "$nothing"

shtest_end
