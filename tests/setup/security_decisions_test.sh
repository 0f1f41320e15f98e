#!/usr/bin/env bash
# The setup's verdict on folders' security descriptors (tests/setup/security_decisions.nsi, built
# here for the setup's architecture and run in a Wine prefix). Wine keeps no owners or permissions
# on files, so the descriptors are given as SDDL text; the setup reads each folder's the same way.
#
#   security_decisions_test.sh PREFIX x64|x86
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
prefix=$1 arch=$2
work=$(mktemp -d)
trap 'rm -rf -- "$work" "$prefix/drive_c/dva-decisions-$arch".*' EXIT
makensis -V1 -INPUTCHARSET UTF8 "-DARCH=$arch" "-DOUTFILE=$work/decisions.exe" "$root/tests/setup/security_decisions.nsi"

owner="sahibi Yöneticiler, SYSTEM ya da TrustedInstaller değil: X"
rights="başka kullanıcılar değiştirebilir, silebilir ya da yeniden adlandırabilir: X"
# A case a line: where the folder is, its descriptor, the verdict expected.
cases=(
    # The folder as the setup makes it, and as Windows' own owners hold theirs.
    "folder|O:BAD:PAI(A;OICI;FA;;;BA)(A;OICI;FA;;;SY)(A;OICI;0x1200a9;;;BU)|ok"
    "folder|O:SYD:PAI(A;OICI;FA;;;SY)|ok"
    "above|O:S-1-5-80-956008885-3418522649-1831038044-1852259733-2564433385D:PAI(A;OICI;FA;;;BA)(A;OICI;0x1200a9;;;BU)|ok"
    # The administrator running the setup is not one of the machine's owners: that account's
    # unelevated programs carry the same SID.
    "folder|O:RUNNERD:PAI(A;OICI;FA;;;BA)|$owner"
    "above|O:BAD:PAI(A;OICI;FA;;;BA)(A;;FA;;;RUNNER)|$rights"
    "folder|O:BUD:PAI(A;OICI;FA;;;BA)|$owner"
    # Inherit-only entries count: they pass their rights down to what is made inside.
    "folder|O:BAD:PAI(A;OICI;FA;;;BA)(A;OICIIO;FA;;;BU)|$rights"
    "above|O:BAD:AI(A;OICIID;0x1200a9;;;BU)(A;OICIIO;SD;;;AU)|$rights"
    # ...save a creator's own rights; and the folder's inherited entries, which icacls removes.
    "folder|O:BAD:PAI(A;OICI;FA;;;BA)(A;OICIIO;FA;;;CO)|ok"
    "folder|O:BAD:AI(A;OICI;FA;;;BA)(A;OICIID;FA;;;BU)|ok"
    # A folder used as it is (a /LOG= folder that is there) keeps them: there they count.
    "kept|O:BAD:AI(A;OICI;FA;;;BA)(A;OICIID;0x1301bf;;;AU)|$rights"
    "folder|O:BA|izinleri herkese açık (DACL yok): X"
)
for c in "${cases[@]}"; do
    IFS='|' read -r where sddl _ <<<"$c"
    printf '%s %s\r\n' "$where" "$sddl"
done >"$prefix/drive_c/dva-decisions-$arch.in"
"$root/scripts/wine-run" "$prefix" "$work/decisions.exe" "C:\\dva-decisions-$arch.in" "C:\\dva-decisions-$arch.out"
mapfile -t verdicts < <(iconv -f UTF-16 -t UTF-8 "$prefix/drive_c/dva-decisions-$arch.out")

failures=0
for i in "${!cases[@]}"; do
    IFS='|' read -r where sddl expected <<<"${cases[$i]}"
    if [[ ${verdicts[$i]:-(none)} != "$expected" ]]; then
        echo "FAILED: $where $sddl: \"${verdicts[$i]:-(none)}\", not \"$expected\"" >&2
        failures=$((failures + 1))
    fi
done
((failures == 0)) || exit 1
echo "the setup's $arch folder check: ${#cases[@]} descriptors judged as expected"
