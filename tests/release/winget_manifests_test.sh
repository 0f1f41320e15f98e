#!/usr/bin/env bash
# The winget manifests scripts/release writes, made here from the setups and MSI packages of the
# two build trees laid out as a release: they validate against the published schema of their
# manifest version, with each installer's real SHA-256. A manifest the schema refuses, and a
# hash that is not the file's, are each found.
#
#   winget_manifests_test.sh X64-BUILD-TREE X86-BUILD-TREE
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
manifests=$root/installer/winget/manifests.py
work=$(mktemp -d)
trap 'rm -rf -- "$work"' EXIT
failures=0
fail() { echo "FAILED: $*" >&2; failures=$((failures + 1)); }

for tree in "$@"; do
    cp -- "$tree"/bin/Dravonil-Veriz-Avize-*-setup.exe "$tree"/bin/Dravonil-Veriz-Avize-*.msi "$work/"
done
"$manifests" write "$work" https://example.org/surumler/0.1 "$1/installer/msi.env" "$2/installer/msi.env"
installer=$(echo "$work"/winget/*.installer.yaml)
[[ $(grep -c '^- Architecture:' "$installer") == 4 ]] || fail "not four installers in $(cat "$installer")"
"$manifests" check "$work/winget" "$work" || fail "the release's manifests do not validate"

cp -- "$installer" "$work/original.yaml"
sed -i '0,/InstallerType: wix/s//InstallerType: setup/' "$installer"
"$manifests" check "$work/winget" 2>"$work/findings" && fail "an unknown installer type validates"
grep -q "'setup' is not one of" "$work/findings" || fail "no schema finding in: $(cat "$work/findings")"
cp -- "$work/original.yaml" "$installer"
# The first hash with its first digit changed (to 0, or to 1 where it is a 0 already).
awk '!done && /InstallerSha256: / { i = index($0, ": ") + 2; d = substr($0, i, 1) == "0" ? "1" : "0"
                                    $0 = substr($0, 1, i - 1) d substr($0, i + 1); done = 1 } 1' \
    "$work/original.yaml" >"$installer"
"$manifests" check "$work/winget" "$work" 2>"$work/findings" && fail "a wrong SHA-256 goes unnoticed"
grep -q "the SHA-256 is not the file's" "$work/findings" || fail "no hash finding in: $(cat "$work/findings")"

((failures == 0)) && echo "winget manifests valid, with the installers' hashes"
exit $((failures > 0))
