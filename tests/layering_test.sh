#!/usr/bin/env bash
# The source tree has one direction: each folder of src/ and tools/ includes
# project headers only from itself and from the folders below it.
set -uo pipefail
source "$LINEPROBE_ROOT/tests/lib/shtest.sh"
shtest_begin layering
cd "$LINEPROBE_ROOT"

declare -A below=(
    [src/param]=""
    [src/win]="src/param"
    [src/net]="src/win src/param"
    [src/ui]="src/win src/param"
    [src/check]="src/ui src/net src/win src/param"
    [src/com]="src/check src/ui src/win"
    [tools/lineprobe]="src/win src/param"
)

# Where each project header lives; headers made by the build are not listed.
declare -A home
while read -r header; do
    home[$(basename "$header")]=$(dirname "$header")
done < <(find src tools -name '*.h')

for folder in "${!below[@]}"; do
    wrong=""
    while IFS=: read -r file header; do
        owner=${home[$header]:-}
        [ -z "$owner" ] || [ "$owner" = "$folder" ] && continue
        case " ${below[$folder]} " in
            *" $owner "*) ;;
            *) wrong+="$file includes $owner/$header; " ;;
        esac
    done < <(grep -o '^#include "[^"]*"' -r "$folder" --include='*.cpp' --include='*.h' --include='*.rc' |
             sed 's/#include "\(.*\)"/\1/')
    if [ -z "$wrong" ]; then
        shtest_pass "$folder"
    else
        shtest_fail "$folder" "$wrong"
    fi
done
shtest_end
