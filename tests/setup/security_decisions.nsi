; The setup's verdict on a folder's security descriptor (CheckSecurityDescriptor of
; installer/shared.nsh), for descriptors given as SDDL text: a program for its test. Each line of
; the input file is "folder <SDDL>" (the install folder itself: its own entries, and the rights to
; add files count), "kept <SDDL>" (a folder used as it is, never locked: its inherited entries count
; too) or "above <SDDL>" (a folder above it); "RUNNER" in the SDDL stands for the SID of
; the account running the program. Each verdict is one line of the output file (UTF-16): "ok", or
; the reason the setup gives, for a folder named X.
;
;   makensis -INPUTCHARSET UTF8 -DARCH=x64|x86 -DOUTFILE=<program> security_decisions.nsi
;   <program> <input file> <output file>
Unicode true
RequestExecutionLevel user
SilentInstall silent
OutFile "${OUTFILE}"
!if "${ARCH}" == "x64"
  Target amd64-unicode
!else
  Target x86-unicode
!endif

!include LogicLib.nsh
!include FileFunc.nsh
!include WordFunc.nsh
Var LogPath
!addincludedir "${__FILEDIR__}\..\..\installer"
!include "shared.nsh"
!insertmacro SHARED_FUNCTIONS ""

Section
  ; The running account's SID as text (TOKEN_QUERY; TokenUser).
  System::Call 'advapi32::OpenProcessToken(p -1, i 8, *p .r2) i .r3'
  System::Call '*(&i1024) p .r4'
  System::Call 'advapi32::GetTokenInformation(p r2, i 1, p r4, i 1024, *i .r3) i .r3'
  System::Call '*$4(p .r3)'
  System::Call 'advapi32::ConvertSidToStringSidW(p r3, *w .r9) i .r3'
  ${GetParameters} $0
  ${WordFind} $0 " " "+1" $5
  ${WordFind} $0 " " "+2" $6
  FileOpen $7 $5 r
  FileOpen $8 $6 w
  FileWriteUTF16LE /BOM $8 ""
  ${Do}
    ClearErrors
    FileRead $7 $1
    ${If} ${Errors}
      ${Break}
    ${EndIf}
    ${WordReplace} $1 "$\r" "" "+" $1
    ${WordReplace} $1 "$\n" "" "+" $1
    ${WordReplace} $1 "RUNNER" $9 "+" $1
    ${WordFind} $1 " " "+1" $2
    ${WordFind} $1 " " "+2" $3
    ${If} $2 == "folder"
      StrCpy $R4 0x500D0046
      StrCpy $R5 1
    ${ElseIf} $2 == "kept"
      StrCpy $R4 0x500D0046
      StrCpy $R5 0
    ${Else}
      StrCpy $R4 0x500D0040
      StrCpy $R5 0
    ${EndIf}
    StrCpy $R0 ""
    StrCpy $R3 "X"
    System::Call 'advapi32::ConvertStringSecurityDescriptorToSecurityDescriptorW(w r3, i 1, *p .R6, p 0) i .r0'
    ${If} $0 = 0
      StrCpy $R0 "(not SDDL: $3)"
    ${Else}
      Call CheckSecurityDescriptor
      System::Call 'kernel32::LocalFree(p R6)'
    ${EndIf}
    ${If} $R0 == ""
      StrCpy $R0 "ok"
    ${EndIf}
    FileWriteUTF16LE $8 "$R0$\n"
  ${Loop}
  FileClose $7
  FileClose $8
SectionEnd
