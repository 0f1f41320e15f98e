#!/usr/bin/env bash
# scripts/release refuses an NSIS whose uninstallers share one temporary folder name (before 3.09),
# with its one-line reason and before it builds or writes anything. Debian's own NSIS, which
# carries the fix, is let through: release.signed makes a release with it.
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
((failures == 0)) || exit 1
echo "the release refuses NSIS before 3.09"
