#!/usr/bin/env bash
# Runs a Windows test program with the stand-in file server (standin/StandinProvider.cpp):
#   with-standin-server.sh win32|win64 PROGRAM [ARGS...]
# LINEPROBE_STANDIN_DLL names the provider of that bitness (default: standinnp.dll
# beside PROGRAM). The script installs it in the prefix and registers it as a
# network provider, and gives each server of LINEPROBE_STANDIN_SERVERS (kept when
# already set; default fileserver and slowserver, user monitor, password Secret1,
# fileserver also taking user backup, password Other2, slowserver answering after
# 3 s, lagfiler after 1 s for monitor and backup, stuckfiler after 20 s; one entry
# per account) a folder in a fresh root with the share "logs", offline until
# connected, reached as \\<server>\logs through the prefix's dosdevices/unc.
# The program finds LINEPROBE_STANDIN_SHARE (\\fileserver\logs), LINEPROBE_STANDIN_SLOW_SHARE,
# and LINEPROBE_STANDIN_OFFLINE and LINEPROBE_STANDIN_SLOW_OFFLINE (the Windows paths of
# the shares' folders while offline). Everything is undone when the program ends; the
# registry entries are the prefix's, so ctest runs users one at a time (RESOURCE_LOCK standin_server);
# a run killed before its end is undone by the next use of the prefix (undo_later).
# Sourced instead, it defines standin_start BITS DLL and standin_stop, for a
# script that runs several programs against the same servers.
standin_here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
source "$standin_here/../../scripts/lib/wine-env.sh"

# The registry is shared by both bitnesses; the 64-bit reg.exe starts faster.
standin_reg() { "$(wine_for win64)" "$(system_tool win64 reg)" "$@" >/dev/null 2>&1; }
standin_order='HKLM\System\CurrentControlSet\Control\NetworkProvider\Order'
standin_service='HKLM\System\CurrentControlSet\Services\LineprobeStandin'

standin_start() {
    local bits=$1 dll=$2 system entry server providers
    ensure_wine_prefix
    export LINEPROBE_STANDIN_SERVERS=${LINEPROBE_STANDIN_SERVERS:-fileserver=monitor:Secret1:0;fileserver=backup:Other2:0;slowserver=monitor:Secret1:3000;lagfiler=monitor:Secret1:1000;lagfiler=backup:Other2:1000;stuckfiler=monitor:Secret1:20000}
    if [ "$bits" = win32 ]; then system=syswow64; else system=system32; fi
    standin_installed="$WINEPREFIX/drive_c/windows/$system/standinnp.dll"
    standin_root=$(mktemp -d "${TMPDIR:-/tmp}/lineprobe-standin.XXXXXX")
    standin_servers=()
    for entry in ${LINEPROBE_STANDIN_SERVERS//;/ }; do standin_servers+=("${entry%%=*}"); done
    standin_earlier=$("$(wine_for win64)" "$(system_tool win64 reg)" query "$standin_order" /v ProviderOrder 2>/dev/null |
        tr -d '\r' | sed -n 's/^ *ProviderOrder *REG_SZ *//p') || standin_earlier=none
    standin_earlier=$(echo "$standin_earlier" | sed 's/LineprobeStandin,\?//')  # left behind by a killed run
    undo_later standin "$(declare -p WINEPREFIX standin_root standin_earlier standin_installed standin_servers)
source $(printf %q "$standin_here/with-standin-server.sh")
standin_stop"

    cp "$dll" "$standin_installed"
    standin_reg add "$standin_service\\NetworkProvider" /v ProviderPath /t REG_EXPAND_SZ /d '%SystemRoot%\System32\standinnp.dll' /f
    standin_reg add "$standin_service\\NetworkProvider" /v Name /t REG_SZ /d 'Lineprobe stand-in server' /f
    providers=LineprobeStandin
    [ "$standin_earlier" = none ] || providers+=${standin_earlier:+,$standin_earlier}
    standin_reg add "$standin_order" /v ProviderOrder /t REG_SZ /d "$providers" /f
    mkdir -p "$WINEPREFIX/dosdevices/unc"
    for server in "${standin_servers[@]}"; do
        mkdir -p "$standin_root/$server/logs.offline"
        ln -sfn "$standin_root/$server" "$WINEPREFIX/dosdevices/unc/$server"
    done

    export LINEPROBE_STANDIN_ROOT LINEPROBE_STANDIN_OFFLINE LINEPROBE_STANDIN_SLOW_OFFLINE
    LINEPROBE_STANDIN_ROOT=$(winpath "$standin_root")
    LINEPROBE_STANDIN_OFFLINE=$(winpath "$standin_root/fileserver/logs.offline")
    LINEPROBE_STANDIN_SLOW_OFFLINE=$(winpath "$standin_root/slowserver/logs.offline")
    export LINEPROBE_STANDIN_SHARE='\\fileserver\logs' LINEPROBE_STANDIN_SLOW_SHARE='\\slowserver\logs'
}

standin_stop() {
    [ -n "${standin_root:-}" ] || return 0
    if [ "$standin_earlier" = none ]; then standin_reg delete "$standin_order" /v ProviderOrder /f || true
    else standin_reg add "$standin_order" /v ProviderOrder /t REG_SZ /d "$standin_earlier" /f || true; fi
    standin_reg delete "$standin_service" /f || true
    local server
    for server in "${standin_servers[@]}"; do rm -f "$WINEPREFIX/dosdevices/unc/$server"; done
    rm -f "$standin_installed"
    rm -rf "$standin_root"
    standin_root=
    undo_done standin
}

if [ "${BASH_SOURCE[0]}" = "$0" ]; then
    set -euo pipefail
    trap standin_stop EXIT
    standin_start "$1" "${LINEPROBE_STANDIN_DLL:-$(dirname "$2")/standinnp.dll}"
    "$standin_here/../../scripts/lib/wine-run" "$@"
fi
