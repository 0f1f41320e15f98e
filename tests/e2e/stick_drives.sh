#!/usr/bin/env bash
# Gives a Wine prefix two stick drives, E: and F:, as Wine makes them: drive letters typed
# removable ("floppy" under HKLM\Software\Wine\Drives) whose dosdevices links point at folders
# under STICKS that are missing until a case puts a stick in (a card reader with no card). Wine's
# mount manager reads the drives when the prefix's server starts, so the server is stopped after.
#
#   tests/e2e/stick_drives.sh PREFIX STICKS
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
source "$root/scripts/lib.sh"
prefix=$(realpath -m -- "$1")
sticks=$(realpath -m -- "$2")

rm -rf -- "$sticks"
mkdir -p -- "$sticks"
for letter in e f; do
    "$root/scripts/wine-run" "$prefix" reg add 'HKLM\Software\Wine\Drives' /v "$letter:" /t REG_SZ /d floppy /f >/dev/null
    ln -sfn -- "$sticks/$letter" "$prefix/dosdevices/$letter:"
done
# A root of 20,000 entries for the case that puts one in: made here in a moment, where a Windows
# program under Wine would take minutes.
mkdir -p -- "$sticks/huge"
(cd "$sticks/huge" && seq -f 'f%.0f.txt' 0 19999 | xargs touch)
# A stick holding a Unix symbolic link into drive C (as an NTFS stick may hold a link to C:\): the
# worm's name, pointing at a file of the user's there.
mkdir -p -- "$sticks/linked" "$prefix/drive_c/users/Public"
printf 'the user'"'"'s own program\n' >"$prefix/drive_c/users/Public/kendi.exe"
ln -sfn -- "$prefix/drive_c/users/Public/kendi.exe" "$sticks/linked/RavMon.exe"
stop_prefix "$prefix"
