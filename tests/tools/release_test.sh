#!/usr/bin/env bash
# The release from the committed source: two clones in different folders,
# packaged minutes apart, give the same bytes; packages signed with a
# throwaway certificate authority verify, a changed byte does not, and the
# signed DLL still registers and checks under Wine.
set -uo pipefail
source "$LINEPROBE_ROOT/tests/lib/shtest.sh"
source "$LINEPROBE_ROOT/scripts/lib/wine-env.sh"
ensure_wine_prefix

shtest_begin tool_release

work=$(mktemp -d)
signed_dll=""
cleanup() {
    # The prefix is shared with other runs: never leave the DLL registered.
    [ -z "$signed_dll" ] || /usr/lib/wine/wine64 "$(system_tool win64 regsvr32)" /s /u "$(winpath "$signed_dll")" </dev/null >/dev/null 2>&1
    rm -rf "$work"
}
trap cleanup EXIT
unset SOURCE_DATE_EPOCH COMLINEPROBE_SIGN_PASSWORD

# --- the same bytes from two clones ----------------------------------------
clones=("$work/one" "$work/a-second-folder")
for clone in "${clones[@]}"; do
    git clone -q "$LINEPROBE_ROOT" "$clone" && (cd "$clone" && scripts/package) >"$clone.out" 2>&1
    shtest_expect_eq "package_in_${clone##*/}" "$? $(tail -3 "$clone.out" | tr '\n' ' ')" "0 $(tail -3 "$clone.out" | tr '\n' ' ')"
done
same=1
[ "$(ls "${clones[0]}/dist")" = "$(ls "${clones[1]}/dist")" ] || same=0
for f in "${clones[0]}"/dist/*; do
    cmp "$f" "${clones[1]}/dist/${f##*/}" || same=0
done
shtest_expect_eq identical_packages "$same $(ls "${clones[0]}/dist" | wc -l)" "1 4"
shtest_expect_eq checksums "$(cd "${clones[0]}/dist" && sha256sum -c --quiet SHA256SUMS && echo ok)" ok

# --- signed with a throwaway authority --------------------------------------
cd "$work"
openssl req -x509 -newkey rsa:2048 -nodes -keyout ca.key -out ca.pem -days 2 -subj '/CN=comlineprobe test authority' \
    -addext basicConstraints=critical,CA:TRUE -addext keyUsage=critical,keyCertSign >/dev/null 2>&1
openssl req -newkey rsa:2048 -nodes -keyout signer.key -out signer.csr -subj '/CN=comlineprobe test publisher' >/dev/null 2>&1
printf 'keyUsage=critical,digitalSignature\nextendedKeyUsage=codeSigning\n' >signer.ext
openssl x509 -req -in signer.csr -CA ca.pem -CAkey ca.key -CAcreateserial -days 1 -extfile signer.ext -out signer.pem >/dev/null 2>&1
openssl pkcs12 -export -in signer.pem -inkey signer.key -out signer.pfx -passout pass:'pass word'
# The password from the environment in one clone, from standard input in the other.
(cd "${clones[0]}" && COMLINEPROBE_SIGN_PASSWORD='pass word' scripts/package --no-build --sign "$work/signer.pfx" --out "$work/signed") \
    >sign.out 2>&1
shtest_expect_eq sign_from_environment "$? $(cat sign.out)" "0 $(cat sign.out)"
(cd "${clones[1]}" && printf 'pass word\n' | scripts/package --no-build --sign "$work/signer.pfx" --out "$work/signed-again") \
    >sign-again.out 2>&1
shtest_expect_eq sign_from_stdin "$? $(cat sign-again.out)" "0 $(cat sign-again.out)"
shtest_expect_eq signed_twice_identical "$(diff -r signed signed-again >/dev/null && echo same)" same

name=$(basename signed/*.zip .zip)
unzip -q "signed/$name.zip" -d unpacked
verified=""
for f in unpacked/"$name"/x86/*.??? unpacked/"$name"/x64/*.??? signed/*.msi; do
    osslsigncode verify -CAfile ca.pem -in "$f" >verify.out 2>&1 && verified+="${f#*/} "
done
shtest_expect_eq six_signatures_verify "$verified" "$name/x86/comlineprobe.dll $name/x86/lineprobe.exe \
$name/x64/comlineprobe.dll $name/x64/lineprobe.exe $name-x64.msi $name-x86.msi "
# One byte of code changed, past the headers.
cp "unpacked/$name/x64/comlineprobe.dll" tampered.dll
byte=$(od -An -tu1 -j 4096 -N 1 tampered.dll | tr -d ' ')
printf "\\$(printf '%03o' $((byte ^ 1)))" | dd of=tampered.dll bs=1 seek=4096 conv=notrunc status=none
osslsigncode verify -CAfile ca.pem -in tampered.dll >verify.out 2>&1
shtest_expect_eq changed_byte_refused "$?" 1

# --- the signed DLL under Wine -----------------------------------------------
signed_dll=$work/unpacked/$name/x64/comlineprobe.dll
/usr/lib/wine/wine64 "$(system_tool win64 regsvr32)" /s "$(winpath "$signed_dll")" </dev/null >/dev/null 2>&1
shtest_expect_eq signed_dll_registers "$?" 0
printf 'service OK\r\nall fine\r\n' >status.txt
tool=$work/unpacked/$name/x64/lineprobe.exe
result=$(/usr/lib/wine/wine64 "$tool" --version </dev/null 2>&1 | tr -d '\r' | sed -n 's/^comlineprobe.dll [0-9.]* (\(.*\))$/\1/p')
shtest_expect_eq signed_dll_registered "$result" "registered: $(winpath "$signed_dll")"
result=$(/usr/lib/wine/wine64 "$tool" check --param "#LOGFILE=$(winpath status.txt)#USER=#PW=#UP=OK#DOWN=FAIL#" </dev/null 2>&1 | tr -d '\r')
shtest_expect_eq signed_dll_checks "$result" "all fine"

shtest_end
