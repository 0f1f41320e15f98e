#!/usr/bin/env bash
# scripts/release with a throwaway self-signed code-signing certificate made here: the programs in
# the zips, both setups and the uninstaller that the x64 setup installs carry signatures that
# osslsigncode verifies against that certificate, and so do both MSI packages; the sums match; the
# winget manifests are written for the release address given. Without a certificate the
# release says it is unsigned and its setups carry no signature.
#
#   signed_release_test.sh WINE-PREFIX WORK-FOLDER
#       makes both releases in WORK-FOLDER (emptied first; the signed one and its certificate stay
#       there), checks them, and installs and removes the signed x64 setup in WINE-PREFIX
#   signed_release_test.sh WINE-PREFIX WORK-FOLDER x86
#       installs and removes the signed x86 setup of that earlier run: a 32-bit program, so a case
#       of its own, skipped (exit 77, scripts/wine-run says why) where the machine cannot run one
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
prefix=$1
work=$(realpath -m -- "$2")
failures=0
fail() { echo "FAILED: $*" >&2; failures=$((failures + 1)); }
verify() { osslsigncode verify -CAfile "$work/cert.pem" -in "$1" >"$work/verify.txt" 2>&1; }

# The uninstaller is made and signed inside makensis: install the setup to see it (the x86 one
# under WoW64), then remove it.
install_signed() {
    local setup=$1 folder="$prefix/drive_c/imzali" code=0
    "$root/scripts/wine-run" "$prefix" "$work/signed/$setup" /S '/D=C:\imzali' || code=$?
    [[ $code != 77 ]] || exit 77
    ((code == 0)) || fail "the signed $setup failed"
    verify "$folder/uninstall.exe" || { cat "$work/verify.txt"; fail "the uninstaller of $setup does not verify"; }
    verify "$folder/Dravonil Veriz Avize.exe" || fail "the program installed by $setup does not verify"
    "$root/scripts/wine-run" "$prefix" 'C:\imzali\uninstall.exe' /S '_?=C:\imzali' || fail "the uninstaller of $setup failed"
    rm -rf -- "$folder"
}

if [[ ${3:-} == x86 ]]; then
    setups=("$work"/signed/*-x86-setup.exe)
    [[ -f ${setups[0]} ]] || { echo "no signed x86 setup in $work/signed: run release.signed first" >&2; exit 1; }
    install_signed "$(basename -- "${setups[0]}")"
    ((failures == 0)) && echo "signed x86 setup installed, its uninstaller verified"
    exit $((failures > 0))
fi

rm -rf -- "$work"
mkdir -p -- "$work"

openssl req -x509 -newkey rsa:2048 -nodes -keyout "$work/key.pem" -out "$work/cert.pem" -days 2 \
    -subj "/CN=Dravonil Veriz Avize test signing" -addext "extendedKeyUsage=codeSigning" 2>/dev/null
openssl pkcs12 -export -inkey "$work/key.pem" -in "$work/cert.pem" -out "$work/cert.p12" -passout pass:deneme

# Unsigned first: one line says so, and a setup without a signature does not verify.
"$root/scripts/release" "$work/plain" >"$work/unsigned.log" 2>&1 || { cat "$work/unsigned.log"; exit 1; }
[[ $(grep -c unsigned "$work/unsigned.log") == 1 ]] || fail "an unsigned release does not say so in one line"
verify "$work"/plain/*-x64-setup.exe && fail "an unsigned setup verifies"

DVA_SIGN_PKCS12="$work/cert.p12" DVA_SIGN_PASSWORD=deneme "$root/scripts/release" "$work/signed" https://example.org/0.1 \
    >"$work/signed.log" 2>&1 || { cat "$work/signed.log"; exit 1; }
grep -q unsigned "$work/signed.log" && fail "a signed release says it is unsigned"
cd "$work/signed"
names=(*-x64-setup.exe *-x86-setup.exe *-x64-portable.zip *-x86-portable.zip)
[[ ${#names[@]} == 4 && -f ${names[0]} && -f ${names[1]} && -f ${names[2]} && -f ${names[3]} ]] ||
    fail "release holds $(ls)"
sha256sum --quiet -c SHA256SUMS || fail "SHA256SUMS does not match"
for f in *-setup.exe *.msi; do
    verify "$f" || { cat "$work/verify.txt"; fail "$f does not verify"; }
done
packages=(*-x64.msi *-x86.msi)
[[ -f ${packages[0]} && -f ${packages[1]} ]] || fail "release holds $(ls)"
[[ -f winget/Dravonil.DravonilVerizAvize.installer.yaml ]] || fail "no winget manifests"
for z in *-portable.zip; do
    rm -rf "$work/unzipped" && mkdir "$work/unzipped"
    unzip -q "$z" -d "$work/unzipped"
    [[ $(ls "$work/unzipped") == "Dravonil Veriz Avize.exe" ]] || fail "$z holds $(ls "$work/unzipped")"
    verify "$work/unzipped/Dravonil Veriz Avize.exe" || { cat "$work/verify.txt"; fail "the program in $z does not verify"; }
done

install_signed "${names[0]}"

((failures == 0)) && echo "signed release verified: ${names[*]}, uninstaller"
exit $((failures > 0))
