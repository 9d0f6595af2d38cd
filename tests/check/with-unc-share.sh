#!/usr/bin/env bash
# Runs a Windows test program with a UNC share that Wine maps to a local folder:
#   with-unc-share.sh win32|win64 PROGRAM [ARGS...]
# \\lineprobe-check-<bits>\share reaches a fresh folder through the prefix's
# dosdevices/unc; the program finds both in LINEPROBE_UNC_SHARE and
# LINEPROBE_UNC_FOLDER. The link and the folder go when the program ends.
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
source "$here/../../scripts/lib/wine-env.sh"
bits=$1
shift
ensure_wine_prefix

server="lineprobe-check-${bits#win}"
folder=$(mktemp -d "${TMPDIR:-/tmp}/lineprobe-unc.XXXXXX")
link="$WINEPREFIX/dosdevices/unc/$server/share"
cleanup() {
    rm -f "$link"
    rmdir "$WINEPREFIX/dosdevices/unc/$server" 2>/dev/null || true
    rm -rf "$folder"
}
undo_later "unc-$bits" "$(declare -p WINEPREFIX server folder link; declare -f cleanup)
cleanup"
trap 'cleanup; undo_done "unc-$bits"' EXIT
mkdir -p "$(dirname "$link")"
ln -sfn "$folder" "$link"

export LINEPROBE_UNC_SHARE="\\\\$server\\share"
export LINEPROBE_UNC_FOLDER
LINEPROBE_UNC_FOLDER=$(winpath "$folder")
"$here/../../scripts/lib/wine-run" "$bits" "$@"
