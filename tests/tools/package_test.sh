#!/usr/bin/env bash
# The release package: its contents, and install.cmd / uninstall.cmd run by
# Wine's cmd registering and removing both DLLs, each for its own bitness.
# Runs from the 64-bit build; the 32-bit build folder is its sibling.
set -uo pipefail
source "$LINEPROBE_ROOT/tests/lib/shtest.sh"
source "$LINEPROBE_ROOT/scripts/lib/wine-env.sh"
ensure_wine_prefix

shtest_begin tool_package

work=$(mktemp -d)
pkg=""

cleanup() {
    # The prefix is shared with other runs: never leave the package registered.
    if [ -n "$pkg" ] && [ -f "$pkg/uninstall.cmd" ]; then
        (cd "$pkg" && /usr/lib/wine/wine64 cmd /c uninstall.cmd </dev/null >/dev/null 2>&1)
    fi
    rm -rf "$work"
}
trap 'cleanup; undo_done tool_package' EXIT

shtest_need_win32_beside

version=$(sed -n 's/^project(comlineprobe VERSION \([0-9.]*\).*/\1/p' "$LINEPROBE_ROOT/CMakeLists.txt")
name=comlineprobe-$version
zip=$work/dist/$name.zip

# --- contents -------------------------------------------------------------
"$LINEPROBE_ROOT/scripts/package" --no-build --win32 "$win32" --win64 "$win64" --out "$work/dist" \
    >"$work/package.out" 2>&1
shtest_expect_eq package_script "$? $(tr '\n' ' ' <"$work/package.out")" \
    "0 $zip $work/dist/$name-x86.msi $work/dist/$name-x64.msi $work/dist/SHA256SUMS "
shtest_expect_eq versioned_name "$name" "comlineprobe-1.0.0.15"

listing=$(unzip -Z1 "$zip" 2>&1 | sort | tr '\n' ' ')
shtest_expect_eq contents "$listing" "$name/ $name/LICENSE $name/README.md $name/install.cmd \
$name/uninstall.cmd $name/x64/ $name/x64/comlineprobe.dll $name/x64/lineprobe.exe \
$name/x86/ $name/x86/comlineprobe.dll $name/x86/lineprobe.exe "

unzip -q "$zip" -d "$work/unpacked"
pkg=$work/unpacked/$name
undo_later tool_package "$(declare -p WINEPREFIX work pkg; declare -f cleanup)
cleanup"

# Each folder holds the binaries of its bitness, the very files the builds made.
machine() { x86_64-w64-mingw32-objdump -f "$1" 2>/dev/null | sed -n 's/.*file format \(pei-[a-z0-9-]*\).*/\1/p'; }
shtest_expect_eq x86_binaries "$(machine "$pkg/x86/comlineprobe.dll") $(machine "$pkg/x86/lineprobe.exe")" \
    "pei-i386 pei-i386"
shtest_expect_eq x64_binaries "$(machine "$pkg/x64/comlineprobe.dll") $(machine "$pkg/x64/lineprobe.exe")" \
    "pei-x86-64 pei-x86-64"
# Stripped copies of the very files the builds made (the same code, no symbol
# table); build/ keeps the symbols.
section() { "$1-objcopy" -O binary -j .text "$2" "$3" 2>/dev/null; }
stripped_as_built=1
for f in comlineprobe.dll lineprobe.exe; do
    for pair in "i686-w64-mingw32 $win32 x86" "x86_64-w64-mingw32 $win64 x64"; do
        read -r triplet built folder <<<"$pair"
        section "$triplet" "$built/$f" "$work/built.text" && section "$triplet" "$pkg/$folder/$f" "$work/packed.text" &&
            cmp -s "$work/built.text" "$work/packed.text" || stripped_as_built=0
        "$triplet-objdump" -t "$pkg/$folder/$f" | grep -q 'no symbols' || stripped_as_built=0
        "$triplet-objdump" -t "$built/$f" | grep -q 'no symbols' && stripped_as_built=0
    done
done
shtest_expect_eq binaries_stripped_as_built "$stripped_as_built" 1

shtest_expect_eq license_is_mit "$(head -1 "$pkg/LICENSE" | tr -d '\r') / $(grep -c 'Copyright (c) The comlineprobe authors' "$pkg/LICENSE")" \
    "MIT License / 1"
lf_only=0
for f in install.cmd uninstall.cmd LICENSE README.md; do
    grep -q $'[^\r]$' "$pkg/$f" && lf_only=1
done
shtest_expect_eq text_files_have_crlf "$lf_only" 0

# --- install.cmd / uninstall.cmd under Wine's cmd -------------------------
# registered_dll BITS: the DLL the registration names for that bitness, as the tool reports it.
registered_dll() {
    local exe=$pkg/x64/lineprobe.exe loader=/usr/lib/wine/wine64
    [ "$1" = win32 ] && exe=$pkg/x86/lineprobe.exe loader=/usr/lib/wine/wine
    "$loader" "$exe" --version </dev/null 2>&1 | tr -d '\r' | sed -n 's/^comlineprobe.dll [0-9.]* (\(.*\))$/\1/p'
}
# cmd_in_package SCRIPT [PATH-PREFIX]: runs the script from the package folder.
cmd_in_package() {
    local script=$1 prefix=${2:-}
    if [ -n "$prefix" ]; then
        (cd "$pkg" && /usr/lib/wine/wine64 cmd /c "set PATH=$prefix;%PATH%&& $script" </dev/null >"$work/cmd.out" 2>&1)
    else
        (cd "$pkg" && /usr/lib/wine/wine64 cmd /c "$script" </dev/null >"$work/cmd.out" 2>&1)
    fi
    CODE=$?
    CMD_OUT=$(tr -d '\r' <"$work/cmd.out")
}
wpkg=$(winpath "$pkg")

cmd_in_package install.cmd
# The 32-bit regsvr32 runs under qemu here, which now and then fails to start a
# program; a second run shows whether the failure is the package's.
if [ "$CODE" != 0 ]; then
    echo "install.cmd ended with $CODE, once more: $CMD_OUT"
    cmd_in_package install.cmd
fi
shtest_expect_eq install_succeeds "$CODE $CMD_OUT" "0 $CMD_OUT"
shtest_expect_eq install_registers_x86 "$(registered_dll win32)" "registered: $wpkg\\x86\\comlineprobe.dll"
shtest_expect_eq install_registers_x64 "$(registered_dll win64)" "registered: $wpkg\\x64\\comlineprobe.dll"

cmd_in_package uninstall.cmd
shtest_expect_eq uninstall_succeeds "$CODE" 0
shtest_expect_eq uninstall_removes_x86 "$(registered_dll win32)" "beside lineprobe.exe: $wpkg\\x86\\comlineprobe.dll"
shtest_expect_eq uninstall_removes_x64 "$(registered_dll win64)" "beside lineprobe.exe: $wpkg\\x64\\comlineprobe.dll"

# Without administrator rights both checks fail; programs in front of PATH that
# cannot start play that.
mkdir -p "$work/unelevated"
printf 'not a program' >"$work/unelevated/fltmc.exe"
printf 'not a program' >"$work/unelevated/net.exe"
cmd_in_package install.cmd "$(winpath "$work/unelevated")"
if [ "$CODE" != 0 ] && [[ "$CMD_OUT" == *"administrator rights are missing"* ]]; then
    shtest_pass install_says_elevation_is_missing
else
    shtest_fail install_says_elevation_is_missing "exit code $CODE, output [$CMD_OUT]"
fi
shtest_expect_eq unelevated_registers_nothing "$(registered_dll win64)" "beside lineprobe.exe: $wpkg\\x64\\comlineprobe.dll"

# The first failure stops the script with regsvr32's code: a broken 32-bit DLL
# keeps the 64-bit one from being registered.
cp "$pkg/x86/comlineprobe.dll" "$work/good-x86.dll"
printf 'not a DLL' >"$pkg/x86/comlineprobe.dll"
cmd_in_package install.cmd
if [ "$CODE" = 3 ] && [[ "$CMD_OUT" == *'x86\comlineprobe.dll" failed, regsvr32 ended with code 3'* ]]; then
    shtest_pass install_stops_at_first_failure
else
    shtest_fail install_stops_at_first_failure "exit code $CODE, output [$CMD_OUT]"
fi
shtest_expect_eq failed_install_skips_x64 "$(registered_dll win64)" "beside lineprobe.exe: $wpkg\\x64\\comlineprobe.dll"
cp "$work/good-x86.dll" "$pkg/x86/comlineprobe.dll"

shtest_end
