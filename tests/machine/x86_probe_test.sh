#!/usr/bin/env bash
# The question put to the machine before the x86 cases, and what follows from its answer, on any
# machine: a loader the kernel cannot execute stands in for Wine's 32-bit loader on a kernel
# without 32-bit emulation (a copy of /bin/true marked for another processor: execve refuses it
# with "Exec format error", exactly as such a kernel refuses an i386 program).
#
#   x86_probe_test.sh PROGRAM-32 PROGRAM-64     (the two builds of the program)
set -uo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
source "$root/scripts/lib.sh"
work=$(mktemp -d)
trap 'rm -rf -- "$work"' EXIT
failures=0
fail() { echo "FAILED: $*" >&2; failures=$((failures + 1)); }

unrunnable="$work/wine"
cp /bin/true "$unrunnable"
printf '\x28' | dd of="$unrunnable" bs=1 seek=18 conv=notrunc status=none   # e_machine: ARM

why=$(DVA_WINE32=$unrunnable x86_unavailable) || fail "a loader the kernel cannot execute is not taken as 'cannot'"
[[ $why == "this machine's Linux kernel cannot run 32-bit programs (no 32-bit emulation): the x86 cases are skipped" ]] ||
    fail "the reason reads: $why"
DVA_WINE32="$work/missing" x86_unavailable >/dev/null && fail "a missing loader is taken for a kernel that cannot run it"

# This machine's own answer (not the one DVA_WINE32 may stage for a whole run) agrees with what its
# loader does.
if "$WINE32" --version >/dev/null 2>&1; then
    (unset DVA_WINE32; x86_unavailable >/dev/null) && fail "the loader runs here, yet the machine is said not to run 32-bit programs"
fi

# wine-run: a 32-bit program is not started, with the reason and the skip code; a 64-bit one is
# started as ever (here with an unset display, so it stops before Wine with its own message).
is_32bit_program "$1" || fail "$1 is not seen as a 32-bit program"
is_32bit_program "$2" && fail "$2 is seen as a 32-bit program"
out=$(DVA_WINE32=$unrunnable "$root/scripts/wine-run" "$work/prefix" "$1" 2>&1)
code=$?
[[ $code == "$X86_SKIP_CODE" && $out == "wine-run: skipped: $why" ]] || fail "wine-run on the 32-bit program: $code, $out"
out=$(env -u DISPLAY DVA_WINE32="$unrunnable" "$root/scripts/wine-run" "$work/prefix" "$2" 2>&1)
[[ $out == *"DISPLAY is not set"* ]] || fail "wine-run did not go on with the 64-bit program: $out"
[[ ! -e $work/prefix ]] || fail "a skipped start made a prefix"

((failures == 0)) && echo "the x86 probe: cannot, with the reason, where the loader cannot be executed; 32-bit programs skipped, 64-bit ones run"
exit $((failures > 0))
