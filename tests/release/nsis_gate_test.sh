#!/usr/bin/env bash
# scripts/release refuses an NSIS whose uninstallers share one temporary folder name (before 3.09),
# with its one-line reason and before it builds or writes anything, and warns of the plug-ins'
# folder flaw before 3.12. Debian's own NSIS, which carries the first fix, is let through:
# release.signed makes a release with it.
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
work=$(mktemp -d)
trap 'rm -rf -- "$work"' EXIT
failures=0
fail() { echo "FAILED: $*" >&2; failures=$((failures + 1)); }

mkdir "$work/bin"
for version in v3.08 v3.04 v2.51; do
    printf '#!/bin/sh\necho %s\n' "$version" >"$work/bin/makensis"
    chmod +x "$work/bin/makensis"
    code=0
    PATH="$work/bin:$PATH" "$root/scripts/release" "$work/out" >"$work/log" 2>&1 || code=$?
    [[ $code == 1 ]] || fail "NSIS $version: exit code $code, not 1"
    grep -qx "release: NSIS $version is older than 3.09, whose uninstallers each get their own temporary folder: install NSIS 3.09 or later" \
        "$work/log" || fail "NSIS $version: no reason line in: $(cat "$work/log")"
    [[ ! -e $work/out ]] || fail "NSIS $version: the release folder was made"
done
# Let through, with a warning naming the flaw before 3.12: the fake cmake then stops the release
# at its first build, before it makes anything.
printf '#!/bin/sh\nexit 3\n' >"$work/bin/cmake"
chmod +x "$work/bin/cmake"
for version in v3.11 v3.12 v4.0; do
    printf '#!/bin/sh\necho %s\n' "$version" >"$work/bin/makensis"
    PATH="$work/bin:$PATH" "$root/scripts/release" "$work/out" >"$work/log" 2>&1 || true
    grep -q "^release: building windows-x64" "$work/log" || fail "NSIS $version: refused: $(cat "$work/log")"
    warned=0
    grep -qx "release: warning: NSIS $version is older than 3.12 and has CVE-2026-42171 (run as SYSTEM, its plug-ins may be unpacked into a temporary folder other programs can write); the setup unpacks them into Program Files itself, and the MSI is the package to deploy as SYSTEM" \
        "$work/log" && warned=1
    [[ $warned == $([[ $version == v3.11 ]] && echo 1 || echo 0) ]] || fail "NSIS $version: warning $warned in: $(cat "$work/log")"
done
((failures == 0)) || exit 1
echo "the release refuses NSIS before 3.09 and warns of CVE-2026-42171 before 3.12"
