#!/usr/bin/env bash
# Runs scripts/demo on this build's program as a user without a desktop would, and checks what
# it leaves: exit code 0, its closing line that all its checks passed, and each of its pictures
# present and not one flat colour.
#   demo_test.sh PROGRAM WINDOW_DRIVER DEMO_DIR
set -uo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
dir=$3
log=$(mktemp)
trap 'rm -f "$log"' EXIT
failed=0
check() {  # check DESCRIPTION COMMAND...
    if "${@:2}"; then echo "ok: $1"; else echo "FAILED: $1"; failed=$((failed + 1)); fi
}
# shellcheck disable=SC2317  # called through check
not_flat() {
    local colours
    colours=$(/usr/bin/convert "$1" -format '%k' info: 2>/dev/null) && ((colours > 1))
}

rm -f -- "$dir/alert.png" "$dir/detections.png"
env -u DISPLAY DVA_EXE="$1" DVA_DRIVER="$2" DVA_DEMO_DIR="$dir" "$root/scripts/demo" 2>&1 | tee "$log"
code=${PIPESTATUS[0]}
# The demo of a 32-bit program on a machine that cannot run one says why and is skipped.
[[ $code == 77 ]] && grep -q '^demo: skipped: ' "$log" && exit 77
check "the demo ends with exit code 0" test "$code" -eq 0
check "the demo says all its checks passed" grep -qE '^demo: all [0-9]+ checks passed' "$log"
for picture in alert detections; do
    check "$picture.png exists" test -s "$dir/$picture.png"
    check "$picture.png is not one flat colour" not_flat "$dir/$picture.png"
done
exit $((failed > 0))
