#!/usr/bin/env bash
# Runs a Windows test program with the stand-in file server (standin/StandinProvider.cpp):
#   with-standin-server.sh win32|win64 PROGRAM [ARGS...]
# LINEPROBE_STANDIN_DLL names the provider of that bitness (default: standinnp.dll
# beside PROGRAM). The script installs it in the prefix and registers it as a
# network provider, and gives each server of LINEPROBE_STANDIN_SERVERS (kept when
# already set; default fileserver and slowserver, user monitor, password Secret1,
# fileserver also taking user backup, password Other2, slowserver answering after
# 3 s; one entry per account) a folder in a fresh root with the share "logs", offline until connected, reached as \\<server>\logs through the prefix's dosdevices/unc.
# The program finds LINEPROBE_STANDIN_SHARE (\\fileserver\logs), LINEPROBE_STANDIN_SLOW_SHARE,
# and LINEPROBE_STANDIN_OFFLINE and LINEPROBE_STANDIN_SLOW_OFFLINE (the Windows paths of
# the shares' folders while offline). Everything is undone when the program ends; the
# registry entries are the prefix's, so ctest runs users one at a time (RESOURCE_LOCK standin_server).
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
source "$here/../../scripts/lib/wine-env.sh"
bits=$1
program=$2
ensure_wine_prefix

export LINEPROBE_STANDIN_SERVERS=${LINEPROBE_STANDIN_SERVERS:-fileserver=monitor:Secret1:0;fileserver=backup:Other2:0;slowserver=monitor:Secret1:3000}
dll=${LINEPROBE_STANDIN_DLL:-$(dirname "$program")/standinnp.dll}
if [ "$bits" = win32 ]; then system=syswow64; else system=system32; fi
installed="$WINEPREFIX/drive_c/windows/$system/standinnp.dll"
root=$(mktemp -d "${TMPDIR:-/tmp}/lineprobe-standin.XXXXXX")
# The registry is shared by both bitnesses; the 64-bit reg.exe starts faster.
reg() { "$(wine_for win64)" "$(system_tool win64 reg)" "$@" >/dev/null 2>&1; }
order='HKLM\System\CurrentControlSet\Control\NetworkProvider\Order'
service='HKLM\System\CurrentControlSet\Services\LineprobeStandin'
servers=()
for entry in ${LINEPROBE_STANDIN_SERVERS//;/ }; do servers+=("${entry%%=*}"); done

earlier=$("$(wine_for win64)" "$(system_tool win64 reg)" query "$order" /v ProviderOrder 2>/dev/null |
    tr -d '\r' | sed -n 's/^ *ProviderOrder *REG_SZ *//p') || earlier=none
earlier=$(echo "$earlier" | sed 's/LineprobeStandin,\?//')  # left behind by a killed run
cleanup() {
    if [ "$earlier" = none ]; then reg delete "$order" /v ProviderOrder /f || true
    else reg add "$order" /v ProviderOrder /t REG_SZ /d "$earlier" /f || true; fi
    reg delete "$service" /f || true
    for server in "${servers[@]}"; do rm -f "$WINEPREFIX/dosdevices/unc/$server"; done
    rm -f "$installed"
    rm -rf "$root"
}
trap cleanup EXIT

cp "$dll" "$installed"
reg add "$service\\NetworkProvider" /v ProviderPath /t REG_EXPAND_SZ /d '%SystemRoot%\System32\standinnp.dll' /f
reg add "$service\\NetworkProvider" /v Name /t REG_SZ /d 'Lineprobe stand-in server' /f
providers=LineprobeStandin
[ "$earlier" = none ] || providers+=${earlier:+,$earlier}
reg add "$order" /v ProviderOrder /t REG_SZ /d "$providers" /f
mkdir -p "$WINEPREFIX/dosdevices/unc"
for server in "${servers[@]}"; do
    mkdir -p "$root/$server/logs.offline"
    ln -sfn "$root/$server" "$WINEPREFIX/dosdevices/unc/$server"
done

export LINEPROBE_STANDIN_ROOT LINEPROBE_STANDIN_OFFLINE LINEPROBE_STANDIN_SLOW_OFFLINE
LINEPROBE_STANDIN_ROOT=$(winpath "$root")
LINEPROBE_STANDIN_OFFLINE=$(winpath "$root/fileserver/logs.offline")
LINEPROBE_STANDIN_SLOW_OFFLINE=$(winpath "$root/slowserver/logs.offline")
export LINEPROBE_STANDIN_SHARE='\\fileserver\logs' LINEPROBE_STANDIN_SLOW_SHARE='\\slowserver\logs'
"$here/../../scripts/lib/wine-run" "$@"
