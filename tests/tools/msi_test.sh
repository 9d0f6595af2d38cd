#!/usr/bin/env bash
# One Windows Installer package (x86 or x64) under Wine, in a fresh prefix of its
# own, through the real 64-bit msiexec: silent install, registration equal to
# regsvr32's, hosts of each bitness, repair, a second install, an upgrade,
# uninstall, and a ProgID the other package still uses.
#   msi_test.sh x86|x64
# Runs from the 64-bit build; the 32-bit build folder is its sibling.
set -uo pipefail
arch=$1
other=x64
[ "$arch" = x64 ] && other=x86
source "$LINEPROBE_ROOT/tests/lib/shtest.sh"

shtest_begin "tool_msi_$arch"

shtest_need_win32_beside

work=$LINEPROBE_BUILD_DIR/msi-$arch
export WINEPREFIX=$work/prefix
source "$LINEPROBE_ROOT/scripts/lib/wine-env.sh"
[ -d "$WINEPREFIX" ] && "$WINESERVER" -k >/dev/null 2>&1
rm -rf "$work"
mkdir -p "$work"
ensure_wine_prefix
trap '"$WINESERVER" -k >/dev/null 2>&1' EXIT

version=$(sed -n 's/^project(comlineprobe VERSION \([0-9.]*\).*/\1/p' "$LINEPROBE_ROOT/CMakeLists.txt")
later=${version%.*}.$((${version##*.} + 1))
package() {
    "$LINEPROBE_ROOT/scripts/package" --no-build --win32 "$win32" --win64 "$win64" --out "$work/$1" ${2:+--version "$2"} \
        >"$work/package-$1.out" 2>&1
}
package dist
shtest_expect_eq package_script "$? $(tr '\n' ' ' <"$work/package-dist.out")" \
    "0 $work/dist/comlineprobe-$version.zip $work/dist/comlineprobe-$version-x86.msi $work/dist/comlineprobe-$version-x64.msi $work/dist/SHA256SUMS "
package later "$later"
shtest_expect_eq later_package "$?" 0
msi=$work/dist/comlineprobe-$version-$arch.msi
other_msi=$work/dist/comlineprobe-$version-$other.msi
later_msi=$work/later/comlineprobe-$later-$arch.msi
unzip -q "$work/dist/comlineprobe-$version.zip" -d "$work/zip"
packed=$work/zip/comlineprobe-$version

folder32='C:\Program Files (x86)\comlineprobe'
folder64='C:\Program Files\comlineprobe'
unix_folder() { echo "$WINEPREFIX/drive_c/${1#C:\\}" | tr '\\' /; }

# --- helpers ----------------------------------------------------------------
# Wine's helper processes inherit the output of what starts them: output goes
# through a file.
run() {
    local loader=$1
    shift
    "$loader" "$@" </dev/null >"$work/run.out" 2>&1
    local code=$?
    tr -d '\r' <"$work/run.out"
    return $code
}
msi_runs=0
msiexec() {
    msi_runs=$((msi_runs + 1))
    run /usr/lib/wine/wine64 "$(system_tool win64 msiexec)" "$@" /qn /l*v "$(winpath "$work/msiexec-$msi_runs.log")"
}

# The registration as the given bitness sees it: "key : value" lines, sorted, with
# the installed folders and the reference registration's folders given one name.
views=(win32)
[ "$arch" = x64 ] && views=(win32 win64)
registration() {
    local bits root line
    for bits in "${views[@]}"; do
        for root in comlineprobe.lineprobeCom 'CLSID\{21239317-5CFF-44EC-9F93-107FC0A617BD}' \
            'Interface\{458416EC-70DC-412A-BBBB-0B92761041C5}' 'TypeLib\{8C5F032E-CDD6-4571-953A-EA9E0642E696}'; do
            run "$(wine_for "$bits")" "$(system_tool "$bits" reg)" query "HKLM\\Software\\Classes\\$root" /s |
                awk -v view="$bits" '/^HKEY_/ { key = view " " $0; print key; next } /^    / { print key " : " $0 }'
        done
    done | while IFS= read -r line; do
        line=${line//"$folder32"/<x86 folder>}
        line=${line//"$folder64"/<x64 folder>}
        line=${line//"$(winpath "$work/reference/x86")"/<x86 folder>}
        line=${line//"$(winpath "$work/reference/x64")"/<x64 folder>}
        echo "$line"
    done | sort
}

# check_by_progid BITS: a host of that bitness creates the object by its ProgID and runs a check.
printf 'service OK\r\nall fine\r\n' >"$work/status.txt"
cat >"$work/check.vbs" <<EOF
Set probe = CreateObject("comlineprobe.lineprobeCom")
probe.ec_parameter = "#LOGFILE=$(winpath "$work/status.txt")#USER=#PW=#UP=OK#DOWN=FAIL#"
WScript.Echo probe.ec_docheck() & " " & probe.ec_result
EOF
check_by_progid() { run "$(wine_for "$1")" "$(system_tool "$1" cscript)" //nologo "$(winpath "$work/check.vbs")"; }

# The installed products of this package's upgrade code, as installed-programs lists show them.
upgrade_code=$(msiinfo export "$msi" Property | tr -d '\r' | sed -n 's/^UpgradeCode\t//p')
cat >"$work/products.vbs" <<'EOF'
Set installer = CreateObject("WindowsInstaller.Installer")
For Each product In installer.RelatedProducts(WScript.Arguments(0))
    WScript.Echo installer.ProductInfo(product, "InstalledProductName") & ", " & _
        installer.ProductInfo(product, "VersionString") & ", " & installer.ProductInfo(product, "Publisher")
Next
EOF
installed_products() { run /usr/lib/wine/wine64 "$(system_tool win64 cscript)" //nologo "$(winpath "$work/products.vbs")" "$upgrade_code"; }
product_name="comlineprobe (32-bit)"
[ "$arch" = x64 ] && product_name="comlineprobe (64-bit)"

# Every file under the installed folders, relative to Program Files.
installed_files() {
    (cd "$WINEPREFIX/drive_c" && find "Program Files/comlineprobe" "Program Files (x86)/comlineprobe" -type f 2>/dev/null |
        sort | tr '\n' ' ')
}

# --- what regsvr32 writes ---------------------------------------------------
mkdir -p "$work/reference/x86" "$work/reference/x64"
cp "$packed/x86/comlineprobe.dll" "$work/reference/x86/"
cp "$packed/x64/comlineprobe.dll" "$work/reference/x64/"
reference_dlls=("$work/reference/x86/comlineprobe.dll")
[ "$arch" = x64 ] && reference_dlls+=("$work/reference/x64/comlineprobe.dll")
regsvr32_all() {
    local dll bits failed=0
    for dll in "${reference_dlls[@]}"; do
        bits=win32
        [[ "$dll" == */x64/* ]] && bits=win64
        run /usr/lib/wine/wine64 "$(system_tool "$bits" regsvr32)" /s "$@" "$(winpath "$dll")" >/dev/null || failed=1
    done
    return $failed
}
regsvr32_all
shtest_expect_eq regsvr32_registers "$?" 0
expected=$(registration)
regsvr32_all /u
shtest_expect_eq regsvr32_unregisters "$?/$(registration)" "0/"
[ -n "$expected" ] || shtest_fail reference "regsvr32 wrote nothing to compare with"

# --- install ----------------------------------------------------------------
msiexec /i "$(winpath "$msi")" >/dev/null
shtest_expect_eq install_succeeds "$?" 0
if [ "$arch" = x64 ]; then
    shtest_expect_eq installed_files "$(installed_files)" "Program Files (x86)/comlineprobe/comlineprobe.dll \
Program Files/comlineprobe/LICENSE Program Files/comlineprobe/README.md Program Files/comlineprobe/comlineprobe.dll \
Program Files/comlineprobe/lineprobe.exe "
    same=0
    cmp -s "$packed/x64/comlineprobe.dll" "$(unix_folder "$folder64")/comlineprobe.dll" &&
        cmp -s "$packed/x64/lineprobe.exe" "$(unix_folder "$folder64")/lineprobe.exe" &&
        cmp -s "$packed/x86/comlineprobe.dll" "$(unix_folder "$folder32")/comlineprobe.dll" && same=1
    shtest_expect_eq installed_binaries_are_the_packed_ones "$same" 1
    shtest_expect_eq tool_finds_64bit_registration \
        "$(run /usr/lib/wine/wine64 "$(unix_folder "$folder64")/lineprobe.exe" --version | sed -n 's/^comlineprobe.dll //p')" \
        "$version (registered: $folder64\\comlineprobe.dll)"
    shtest_expect_eq check_in_64bit_host "$(check_by_progid win64)" "True all fine"
else
    shtest_expect_eq installed_files "$(installed_files)" "Program Files (x86)/comlineprobe/LICENSE \
Program Files (x86)/comlineprobe/README.md Program Files (x86)/comlineprobe/comlineprobe.dll \
Program Files (x86)/comlineprobe/lineprobe.exe "
    same=0
    cmp -s "$packed/x86/comlineprobe.dll" "$(unix_folder "$folder32")/comlineprobe.dll" &&
        cmp -s "$packed/x86/lineprobe.exe" "$(unix_folder "$folder32")/lineprobe.exe" && same=1
    shtest_expect_eq installed_binaries_are_the_packed_ones "$same" 1
    shtest_expect_eq tool_finds_32bit_registration \
        "$(run /usr/lib/wine/wine "$(unix_folder "$folder32")/lineprobe.exe" --version | sed -n 's/^comlineprobe.dll //p')" \
        "$version (registered: $folder32\\comlineprobe.dll)"
fi
shtest_expect_eq check_in_32bit_host "$(check_by_progid win32)" "True all fine"
shtest_expect_eq registration_as_regsvr32 "$(registration)" "$expected"
shtest_expect_eq listed_as_installed "$(installed_products)" "$product_name, $version, comlineprobe project"

msiexec /i "$(winpath "$msi")" >/dev/null
shtest_expect_eq second_install_succeeds "$?" 0
shtest_expect_eq second_install_leaves_one "$(installed_products)" "$product_name, $version, comlineprobe project"

# --- repair: what /fomus does, which Wine's msiexec does not pass on --------
native=win32
[ "$arch" = x64 ] && native=win64
run "$(wine_for "$native")" "$(system_tool "$native" reg)" delete 'HKLM\Software\Classes\CLSID\{21239317-5CFF-44EC-9F93-107FC0A617BD}\InprocServer32' /f \
    >/dev/null
shtest_expect_eq key_deleted "$?" 0
msiexec /i "$(winpath "$msi")" REINSTALL=ALL REINSTALLMODE=omus >/dev/null
shtest_expect_eq repair_succeeds "$?" 0
shtest_expect_eq repair_restores_registration "$(registration)" "$expected"

# --- a later version replaces this one in place -----------------------------
msiexec /i "$(winpath "$later_msi")" >/dev/null
shtest_expect_eq upgrade_succeeds "$?" 0
shtest_expect_eq upgrade_leaves_one "$(installed_products)" "$product_name, $later, comlineprobe project"
shtest_expect_eq upgrade_keeps_registration "$(registration)" "$expected"
shtest_expect_eq check_after_upgrade "$(check_by_progid win32)" "True all fine"

# --- uninstall ----------------------------------------------------------------
msiexec /x "$(winpath "$later_msi")" >/dev/null
shtest_expect_eq uninstall_succeeds "$?" 0
views=(win32 win64)
shtest_expect_eq uninstall_removes_registration "$(registration)" ""
shtest_expect_eq uninstall_removes_files "$(installed_files)" ""
shtest_expect_eq uninstall_unlists "$(installed_products)" ""

# --- the other package keeps what both use ----------------------------------
# Wine keeps a ProgID written for the 32-bit view apart from the 64-bit one (on
# Windows 7 and later both views share it), so nothing is asserted once both are gone.
msiexec /i "$(winpath "$other_msi")" >/dev/null
shtest_expect_eq other_package_installs "$?" 0
msiexec /i "$(winpath "$msi")" >/dev/null
shtest_expect_eq install_beside_other "$?" 0
msiexec /x "$(winpath "$msi")" >/dev/null
shtest_expect_eq uninstall_beside_other "$?" 0
shtest_expect_eq other_keeps_progid_32bit "$(check_by_progid win32)" "True all fine"
if [ "$other" = x64 ]; then
    shtest_expect_eq other_keeps_progid_64bit "$(check_by_progid win64)" "True all fine"
fi
shtest_expect_eq other_keeps_shared_dll "$([ -f "$(unix_folder "$folder32")/comlineprobe.dll" ] && echo present)" present
msiexec /x "$(winpath "$other_msi")" >/dev/null

shtest_end
