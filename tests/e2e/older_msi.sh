#!/usr/bin/env bash
# Makes a package of a lower version than a build tree's own, from the same template, program and
# custom actions, for the MSI tests' upgrade case: version 0.0.9.0, a product code of its own.
#
#   older_msi.sh BUILD-TREE OLDER.msi
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
tree=$1 out=$2
env=$(mktemp)
trap 'rm -f -- "$env"' EXIT
code=$(tr '[:lower:]' '[:upper:]' </proc/sys/kernel/random/uuid)
sed -e 's/^version=.*/version=0.0.9.0/' -e "s/^product_code=.*/product_code=$code/" "$tree/installer/msi.env" >"$env"
"$root/installer/make-msi" "$env" "$tree/bin/Dravonil Veriz Avize.exe" "$tree/bin/msi_actions.dll" "$out"
