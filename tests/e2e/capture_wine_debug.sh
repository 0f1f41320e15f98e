#!/usr/bin/env bash
# Runs a command with its standard error sent to a file, named to the command (and to every
# program it starts) in DVA_WINE_DEBUG_FILE. Wine writes its debug channels to the Unix standard
# error of each process, whatever the Windows program makes of its own standard error handle, and
# a process started from a Windows program inherits that of its parent: so a Windows test program
# run this way can read back what Wine printed for the programs it started.
#
#   capture_wine_debug.sh FILE COMMAND [ARGS...]
#
# The file is emptied first. The command's exit code is passed through; when it fails, the end
# of the file follows on standard error, for the log.
set -uo pipefail

if [[ $# -lt 2 ]]; then
    echo "usage: $0 FILE COMMAND [ARGS...]" >&2
    exit 2
fi
file=$(realpath -m -- "$1")
shift
mkdir -p -- "$(dirname -- "$file")"
export DVA_WINE_DEBUG_FILE="$file"
"$@" 2>"$file"
code=$?
if [[ $code -ne 0 ]]; then
    echo "--- the last lines of $file:" >&2
    tail -n 40 -- "$file" >&2
fi
exit $code
