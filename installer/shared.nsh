; Functions of the setup that its uninstaller uses too: the log, failing with a reason, the check
; for administrator rights and ending running copies of the program. setup.nsi includes this file
; once and inserts SHARED_FUNCTIONS twice, for the installer and for the uninstaller ("un.").

Var PendingLog
Var WineStandIn
; The highest folder of the path that CheckFolder found missing ("" when every one was there), and
; the one MakeFolder is to make: a folder missing at the check that someone else makes before it
; would be used as it stands.
Var HighestMissing
Var MissingAtCheck
; 1 while CheckFolder judges a folder the setup will use without locking it (a /LOG= folder that is
; there): its inherited entries count too.
Var UsedAsItIs

!macro _Log text
  Push `${text}`
  !ifdef __UNINSTALL__
    Call un.WriteLog
  !else
    Call WriteLog
  !endif
!macroend
!define Log "!insertmacro _Log"

; Writes the reason to the log, shows it (not in silent mode) and stops with exit code 2.
!macro _Fail text
  Push `${text}`
  !ifdef __UNINSTALL__
    Call un.Fail
  !else
    Call Fail
  !endif
!macroend
!define Fail "!insertmacro _Fail"

!macro SHARED_FUNCTIONS un
  ; NSIS unpacks its plug-ins (System, nsExec, UserInfo) into a folder it makes in $TEMP when the
  ; first of them is used. Run as SYSTEM (a deployment tool), $TEMP is C:\Windows\Temp, where every
  ; user may make files and folders; run by an administrator, it is that user's temporary folder,
  ; which the user's unelevated programs may write. NSIS 3.08 can lose that folder to whoever makes
  ; it first, and would then load a plug-in planted there with the setup's rights. So the plug-ins'
  ; folder is made in Program Files, where only administrators may make anything, before any
  ; plug-in is used; $TEMP is set back afterwards. Where the setup cannot write (it is not elevated,
  ; and will stop for that) nothing changes: such a run has no rights to lend.
  Function ${un}MakePluginsFolder
    Push $0
    Push $1
    ClearErrors
    GetTempFileName $0 $PROGRAMFILES
    ${IfNot} ${Errors}
      Delete $0
      StrCpy $1 $TEMP
      UnsafeStrCpy $TEMP $PROGRAMFILES
      InitPluginsDir
      UnsafeStrCpy $TEMP $1
    ${EndIf}
    Pop $1
    Pop $0
  FunctionEnd

  ; Appends one time-stamped line to the log (UTF-16 with its byte-order mark, as Notepad and
  ; PowerShell read it). Lines logged before OpenLog has made the file wait in $PendingLog.
  Function ${un}WriteLog
    Exch $R0
    Push $R1
    Push $0
    Push $1
    Push $2
    Push $3
    Push $4
    Push $5
    Push $6
    DetailPrint $R0
    ${GetTime} "" "L" $0 $1 $2 $3 $4 $5 $6
    StrCpy $R0 "$2-$1-$0 $4:$5:$6 $R0$\r$\n"
    ${If} $LogPath == ""
      StrCpy $PendingLog "$PendingLog$R0"
    ${Else}
      ClearErrors
      FileOpen $R1 $LogPath a
      ${IfNot} ${Errors}
        FileSeek $R1 0 END $0
        ${If} $0 = 0
          FileWriteUTF16LE /BOM $R1 ""
        ${EndIf}
        FileWriteUTF16LE $R1 "$PendingLog$R0"
        StrCpy $PendingLog ""
        FileClose $R1
      ${EndIf}
    ${EndIf}
    Pop $6
    Pop $5
    Pop $4
    Pop $3
    Pop $2
    Pop $1
    Pop $0
    Pop $R1
    Pop $R0
  FunctionEnd

  Function ${un}Fail
    Exch $R0
    ${Log} "HATA: $R0"
    MessageBox MB_OK|MB_ICONSTOP $R0 /SD IDOK
    SetErrorLevel 2
    Abort
  FunctionEnd

  ; %ProgramData%\Dravonil Veriz Avize holds the logs and the setups' lock, so it must be a folder
  ; only administrators control. One that someone else made first (a link, a user's folder, a file)
  ; would let that user block every setup or plant a link where a log is written: it is renamed
  ; aside, logged, and made anew, locked.
  Function ${un}PrepareDataFolder
    Push $R0
    Push $R1
    Push $R2
    Push $0
    Push $1
    Push $2
    Push $3
    Push $4
    Push $5
    Push $6
    StrCpy $R1 "$APPDATA\${PRODUCT}"
    StrCpy $R0 ""
    ${If} ${FileExists} $R1
      Call ${un}CheckFolder
    ${EndIf}
    ${If} $R0 != ""
      ${GetTime} "" "L" $0 $1 $2 $3 $4 $5 $6
      StrCpy $0 "$R1 (kenara alındı $2$1$0-$4$5$6)"
      System::Call 'kernel32::MoveFileExW(w R1, w r0, i 0) i .r1 ?e'
      Pop $2
      ${If} $1 = 0
        ${Fail} "Veri klasörü kullanılamaz ($R0) ve kenara alınamadı (hata $2): $R1"
      ${EndIf}
      ${Log} "Veri klasörü kullanılamazdı ($R0); kenara alındı: $0"
    ${EndIf}
    ${IfNot} ${FileExists} "$R1\*.*"
      Call ${un}CheckFolder
      StrCpy $MissingAtCheck $HighestMissing
      StrCpy $R2 1
      Call ${un}MakeFolder
    ${EndIf}
    Pop $6
    Pop $5
    Pop $4
    Pop $3
    Pop $2
    Pop $1
    Pop $0
    Pop $R2
    Pop $R1
    Pop $R0
  FunctionEnd

  ; The log goes to /LOG=<file>, or to a file of its own in a folder only administrators can
  ; change, %ProgramData%\Dravonil Veriz Avize\logs: a temporary folder (SYSTEM's is C:\Windows\Temp)
  ; lets every user plant a file or a link under a name known beforehand. A missing folder is made
  ; locked; one that is a link or a user's is refused, and nothing is written there. The file is made new, without following a
  ; link that stands in its place. Without administrator rights the setup only logs why it stops,
  ; into that user's own temporary folder.
  Function ${un}OpenLog
    Push $R0
    Push $R1
    Push $R2
    Push $0
    Push $1
    Push $2
    Push $3
    Push $4
    Push $5
    Push $6
    ${GetTime} "" "L" $0 $1 $2 $3 $4 $5 $6
    System::Call 'kernel32::GetCurrentProcessId() i .r3'
    !ifdef __UNINSTALL__
      StrCpy $6 "${LOG_PREFIX}-$2$1$0-$4$5$6-$3-uninstall.log"
    !else
      StrCpy $6 "${LOG_PREFIX}-$2$1$0-$4$5$6-$3-setup.log"
    !endif
    UserInfo::GetAccountType
    Pop $0
    ${If} $0 != "Admin"
      StrCpy $LogPath "$TEMP\$6"
    ${Else}
      Call ${un}PrepareDataFolder
      ${GetParameters} $1
      ClearErrors
      ${GetOptions} $1 "/LOG=" $2
      StrCpy $R2 1  ; the folder is made (if missing) and locked
      ${If} ${Errors}
      ${OrIf} $2 == ""
        StrCpy $R1 "$APPDATA\${PRODUCT}\logs"
        StrCpy $2 "$R1\$6"
      ${Else}
        ; A path relative to a drive's current folder (C:x.log) or to anything else leads where the
        ; setup's start decided, not where the administrator meant.
        StrCpy $0 $2 2 1
        StrCpy $1 $2 2
        ${If} $0 != ":\"
        ${AndIf} $1 != "\\"
          ${Fail} "Günlük dosyasının yolu tam değil: $2"
        ${EndIf}
        System::Call 'kernel32::GetFullPathNameW(w r2, i ${NSIS_MAX_STRLEN}, w .r1, p 0) i .r0'
        ${If} $0 <> 0
          StrCpy $2 $1
        ${EndIf}
        ${GetParent} $2 $R1
        ; A folder that is there is the administrator's: used if safe, never re-permissioned.
        ${If} ${FileExists} "$R1\*.*"
          StrCpy $R2 0
          StrCpy $UsedAsItIs 1
        ${EndIf}
      ${EndIf}
      Call ${un}CheckFolder
      StrCpy $UsedAsItIs 0
      ${If} $R0 != ""
        ${Fail} "Günlük klasörü kullanılamaz ($R0): $R1"
      ${EndIf}
      StrCpy $MissingAtCheck $HighestMissing
      Call ${un}MakeFolder
      ; GENERIC_WRITE, FILE_SHARE_READ, CREATE_NEW, FILE_FLAG_OPEN_REPARSE_POINT | FILE_ATTRIBUTE_NORMAL
      System::Call 'kernel32::CreateFileW(w r2, i 0x40000000, i 1, p 0, i 1, i 0x00200080, p 0) p .r0 ?e'
      Pop $1
      ${If} $0 P<> -1
        System::Call 'kernel32::CloseHandle(p r0)'
      ${ElseIf} $1 = 80  ; ERROR_FILE_EXISTS: a /LOG= file that is there already is appended to
        System::Call 'kernel32::GetFileAttributesW(w r2) i .r0'
        IntOp $0 $0 & 0x410
        ${If} $0 <> 0
          ${Fail} "Günlük dosyası bir bağlantı ya da klasör: $2"
        ${EndIf}
      ${Else}
        ${Fail} "Günlük dosyası oluşturulamadı (hata $1): $2"
      ${EndIf}
      StrCpy $LogPath $2
    ${EndIf}
    Pop $6
    Pop $5
    Pop $4
    Pop $3
    Pop $2
    Pop $1
    Pop $0
    Pop $R2
    Pop $R1
    Pop $R0
  FunctionEnd

  ; Runs the command line on the stack (every program named by its full path) and logs it with its
  ; exit code: the exit code in $0, what it printed in $1.
  Function ${un}RunCommand
    Exch $R0
    nsExec::ExecToStack $R0
    Pop $0
    Pop $1
    ${Log} "Komut: $R0 (çıkış kodu $0)"
    Pop $R0
  FunctionEnd

  ; Security attributes (a pointer, 0 on failure) made from the SDDL text on the stack.
  Function ${un}SecurityAttributes
    Exch $0
    Push $1
    Push $2
    System::Call 'advapi32::ConvertStringSecurityDescriptorToSecurityDescriptorW(w r0, i 1, *p .r1, p 0) i .r2'
    ${If} $2 = 0
      StrCpy $0 0
    ${Else}
      ; SECURITY_ATTRIBUTES: nLength, lpSecurityDescriptor, bInheritHandle, as the compiler lays them out.
      !if "${ARCH}" == "x64"
        System::Call '*(i 24, i 0, p r1, i 0, i 0) p .r0'
      !else
        System::Call '*(i 12, p r1, i 0) p .r0'
      !endif
    ${EndIf}
    Pop $2
    Pop $1
    Exch $0
  FunctionEnd

  ; $WineStandIn = 1 under Wine, which keeps no owners or permissions: every file there reads as
  ; owned by the signed-in account, with full control for it. There that account stands in for the
  ; Administrators (see IsTrustedSid); on Windows it never does.
  Function ${un}RecogniseWine
    Push $0
    StrCpy $WineStandIn 0
    System::Call 'kernel32::GetModuleHandleW(w "ntdll.dll") p .r0'
    System::Call 'kernel32::GetProcAddress(p r0, m "wine_get_version") p .r0'
    ${If} $0 P<> 0
      StrCpy $WineStandIn 1
    ${EndIf}
    Pop $0
  FunctionEnd

  ; $1 = 1 when SID $1 is one only administrators control: Administrators, SYSTEM or
  ; TrustedInstaller (the owner of Program Files); else 0. Not the administrator running the setup:
  ; that account's unelevated programs carry the same SID, and could rename a folder it owns and put
  ; their own program there for the sign-in task to run for every administrator.
  Function ${un}IsTrustedSid
    Push $0
    Push $2
    Push $3
    Push $4
    StrCpy $0 $1
    StrCpy $1 0
    System::Call 'advapi32::IsWellKnownSid(p r0, i 26) i .r2'  ; WinBuiltinAdministratorsSid
    System::Call 'advapi32::IsWellKnownSid(p r0, i 22) i .r3'  ; WinLocalSystemSid
    ${If} $2 <> 0
    ${OrIf} $3 <> 0
      StrCpy $1 1
    ${EndIf}
    ${If} $1 = 0
      System::Call 'advapi32::ConvertStringSidToSidW(w "S-1-5-80-956008885-3418522649-1831038044-1852259733-2564433385", *p .r2) i .r3'
      ${If} $3 <> 0
        System::Call 'advapi32::EqualSid(p r0, p r2) i .r1'
        System::Call 'kernel32::LocalFree(p r2)'
      ${EndIf}
    ${EndIf}
    ${If} $1 = 0
    ${AndIf} $WineStandIn = 1
      ; TOKEN_QUERY; TokenUser
      System::Call 'advapi32::OpenProcessToken(p -1, i 8, *p .r2) i .r3'
      System::Call '*(&i1024) p .r4'
      System::Call 'advapi32::GetTokenInformation(p r2, i 1, p r4, i 1024, *i .r3) i .r3'
      ${If} $3 <> 0
        System::Call '*$4(p .r3)'
        System::Call 'advapi32::EqualSid(p r0, p r3) i .r1'
      ${EndIf}
      System::Call 'kernel32::CloseHandle(p r2)'
      System::Free $4
    ${EndIf}
    ${If} $1 <> 0
      StrCpy $1 1
    ${EndIf}
    Pop $4
    Pop $3
    Pop $2
    Pop $0
  FunctionEnd

  ; $R0 = the reason why security descriptor $R6 of existing folder $R3 does not make it one only
  ; administrators control (its owner, or an entry of its permissions that gives someone else the
  ; rights in mask $R4), else unchanged. $R5 = 1 counts only the folder's own entries, not the ones
  ; it inherits (icacls then removes those). Inherit-only entries count: they give the rights to
  ; what is made in the folder (a creator's own rights aside: only who may make something gets them).
  Function ${un}CheckSecurityDescriptor
    Push $0
    Push $1
    Push $2
    Push $3
    Push $4
    Push $5
    Push $6
    Push $7
    System::Call 'advapi32::GetSecurityDescriptorOwner(p R6, *p .r1, *i .r0) i .r0'
    System::Call 'advapi32::GetSecurityDescriptorDacl(p R6, *i .r2, *p .r3, *i .r0) i .r0'
    ${If} $2 = 0
      StrCpy $3 0
    ${EndIf}
    Call ${un}IsTrustedSid
    ${If} $1 = 0
      StrCpy $R0 "sahibi Yöneticiler, SYSTEM ya da TrustedInstaller değil: $R3"
    ${ElseIf} $3 P= 0
      StrCpy $R0 "izinleri herkese açık (DACL yok): $R3"
    ${Else}
      System::Call '*$3(&i2, &i2, &i2 .r4)'  ; ACL: revision, size, then the count of entries
      StrCpy $5 0
      ${While} $5 < $4
        System::Call 'advapi32::GetAce(p r3, i r5, *p .r6) i .r0'
        ${If} $0 <> 0
          ; ACE_HEADER (type, flags, size), then the access mask and the SID.
          System::Call '*$6(&i1 .r0, &i1 .r1, &i2, i .r7)'
          IntOp $2 $1 & 0x10  ; INHERITED_ACE
          IntOp $1 $1 & 0x08  ; INHERIT_ONLY_ACE
          IntOp $7 $7 & $R4
          ${If} $0 = 0  ; ACCESS_ALLOWED_ACE_TYPE
          ${AndIf} $7 <> 0
          ${If} $R5 <> 1
          ${OrIf} $2 = 0
            IntPtrOp $6 $6 + 8
            StrCpy $0 0
            ${If} $1 <> 0
              System::Call 'advapi32::IsWellKnownSid(p r6, i 3) i .r0'  ; WinCreatorOwnerSid
            ${EndIf}
            StrCpy $1 $6
            Call ${un}IsTrustedSid
            ${If} $1 = 0
            ${AndIf} $0 = 0
              StrCpy $R0 "başka kullanıcılar değiştirebilir, silebilir ya da yeniden adlandırabilir: $R3"
              ${Break}
            ${EndIf}
          ${EndIf}
          ${EndIf}
        ${EndIf}
        IntOp $5 $5 + 1
      ${EndWhile}
    ${EndIf}
    Pop $7
    Pop $6
    Pop $5
    Pop $4
    Pop $3
    Pop $2
    Pop $1
    Pop $0
  FunctionEnd

  ; $R0 = the reason why existing folder $R3 is not one only administrators control (see
  ; CheckSecurityDescriptor), else unchanged.
  Function ${un}CheckFolderPermissions
    Push $0
    Push $R6
    ; SE_FILE_OBJECT; OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION
    System::Call 'advapi32::GetNamedSecurityInfoW(w R3, i 1, i 5, p 0, p 0, p 0, p 0, *p .R6) i .r0'
    ${If} $0 <> 0
      StrCpy $R0 "izinleri okunamadı, hata $0: $R3"
    ${Else}
      Call ${un}CheckSecurityDescriptor
      System::Call 'kernel32::LocalFree(p R6)'
    ${EndIf}
    Pop $R6
    Pop $0
  FunctionEnd

  ; Whether folder $R1 may hold what only administrators are to change: $R0 is empty when it may
  ; (it need not exist yet), else the reason. Every existing folder on its path counts, the drive's
  ; root aside: a junction or symbolic link can lead anywhere; a folder whose owner is someone else
  ; than the administrators can be opened up again by that owner; one that others may delete or
  ; rename (DELETE, FILE_DELETE_CHILD, WRITE_DAC, WRITE_OWNER or the generic rights) can be moved
  ; away with the folder in it and replaced. The folder itself, if it exists, must in its own
  ; entries give others no right to add files either: icacls keeps those entries.
  Function ${un}CheckFolder
    Push $R3
    Push $R4
    Push $R5
    Push $0
    Push $1
    StrCpy $R0 ""
    StrCpy $HighestMissing ""
    StrCpy $R3 $R1
    ${Do}
      ${GetParent} $R3 $1
      ${If} $1 == ""
        ${Break}  ; the drive's root
      ${EndIf}
      System::Call 'kernel32::GetFileAttributesW(w R3) i .r0'
      ${If} $0 = -1
        StrCpy $HighestMissing $R3
      ${Else}
        IntOp $1 $0 & 0x400  ; FILE_ATTRIBUTE_REPARSE_POINT
        ${If} $1 <> 0
          StrCpy $R0 "bağlantı (junction ya da sembolik bağlantı): $R3"
          ${Break}
        ${EndIf}
        IntOp $1 $0 & 0x10  ; FILE_ATTRIBUTE_DIRECTORY
        ${If} $1 = 0
          StrCpy $R0 "klasör değil, dosya: $R3"
          ${Break}
        ${EndIf}
        ${If} $R3 == $R1
          StrCpy $R4 0x500D0046  ; and FILE_ADD_FILE, FILE_ADD_SUBDIRECTORY
          ; Its inherited entries go when it is locked; one used as it is keeps them.
          StrCpy $R5 1
          ${If} $UsedAsItIs = 1
            StrCpy $R5 0
          ${EndIf}
        ${Else}
          StrCpy $R4 0x500D0040
          StrCpy $R5 0
        ${EndIf}
        Call ${un}CheckFolderPermissions
        ${If} $R0 != ""
          ${Break}
        ${EndIf}
      ${EndIf}
      ${GetParent} $R3 $R3
    ${Loop}
    Pop $1
    Pop $0
    Pop $R5
    Pop $R4
    Pop $R3
  FunctionEnd

  ; Gives folder $R1 the permissions of a folder only administrators can change: inheritance off,
  ; Administrators and SYSTEM full control, Users read and execute, for the folder and everything
  ; in it. The groups are named by their SIDs, the same in every language of Windows.
  Function ${un}LockFolder
    Push $0
    Push $1
    Push '"$SYSDIR\icacls.exe" "$R1" /inheritance:r /grant:r *S-1-5-32-544:(OI)(CI)F *S-1-5-18:(OI)(CI)F *S-1-5-32-545:(OI)(CI)RX'
    Call ${un}RunCommand
    ${If} $0 != 0
      ${Fail} "Klasörün izinleri ayarlanamadı (icacls çıkış kodu $0): $R1"
    ${EndIf}
    ${Log} "İzinler ayarlandı: $R1 (devralma kapalı; Yöneticiler ve SYSTEM tam denetim, Kullanıcılar okuma ve çalıştırma)"
    Pop $1
    Pop $0
  FunctionEnd

  ; Makes folder $R1 and the missing folders above it. With $R2 = 1 each is made with the locked
  ; permissions from its first moment (nothing can be put into it before), and the highest new one
  ; and $R1 itself (made now or not) are then locked with icacls, as the log shows.
  Function ${un}MakeFolder
    Push $R3
    Push $R4
    Push $R5
    Push $0
    Push $1
    StrCpy $R4 0
    ${If} $R2 = 1
      Push "O:BAD:PAI(A;OICI;FA;;;BA)(A;OICI;FA;;;SY)(A;OICI;0x1200a9;;;BU)"
      Call ${un}SecurityAttributes
      Pop $R4
      ${If} $R4 = 0
        ${Fail} "Klasör izinleri hazırlanamadı: $R1"
      ${EndIf}
    ${EndIf}
    StrCpy $R5 ""  ; the highest folder made here
    ${DoUntil} ${FileExists} "$R1\*.*"
      ; The highest missing folder on the way to $R1.
      StrCpy $R3 $R1
      ${Do}
        ${GetParent} $R3 $0
        ${If} $0 == ""
        ${OrIf} ${FileExists} "$0\*.*"
          ${Break}
        ${EndIf}
        StrCpy $R3 $0
      ${Loop}
      System::Call 'kernel32::CreateDirectoryW(w R3, p R4) i .r0 ?e'
      Pop $1
      ${If} $0 = 0
        ${Fail} "Klasör oluşturulamadı (hata $1): $R3"
      ${EndIf}
      ${If} $R5 == ""
        StrCpy $R5 $R3
      ${EndIf}
    ${Loop}
    ${If} $R2 = 1
      ${If} $R5 != ""
      ${AndIf} $R5 != $R1
        Push $R1
        StrCpy $R1 $R5
        Call ${un}LockFolder
        Pop $R1
      ${EndIf}
      Call ${un}LockFolder
      ; Checked again, locked: between the check and now someone may have made a folder that was
      ; missing (its path was known, even logged), and it is then not the setup's.
      ${If} $MissingAtCheck != ""
      ${AndIf} $R5 != $MissingAtCheck
        ${Fail} "Klasör denetimden sonra başkası tarafından oluşturuldu: $MissingAtCheck"
      ${EndIf}
      Push $R0
      Call ${un}CheckFolder
      ${If} $R0 != ""
        ${Fail} "Klasör kilitlendikten sonra kullanılamaz ($R0): $R1"
      ${EndIf}
      Pop $R0
    ${EndIf}
    StrCpy $MissingAtCheck ""
    Pop $1
    Pop $0
    Pop $R5
    Pop $R4
    Pop $R3
  FunctionEnd

  ; Setup and removal change Program Files, HKLM and the task store: administrators only.
  Function ${un}RequireAdministrator
    UserInfo::GetAccountType
    Pop $0
    ${If} $0 != "Admin"
      ${Log} "HATA: yönetici hakları yok (hesap türü: $0)"
      MessageBox MB_OK|MB_ICONSTOP "Bu işlem için yönetici hakları gerekiyor." /SD IDOK
      SetErrorLevel 740
      Quit
    ${EndIf}
  FunctionEnd

  ; $1 = 1 when the process of handle $0 runs the installed program, $INSTDIR\${EXE}, else 0.
  Function ${un}RunsInstalledProgram
    Push $2
    Push $3
    StrCpy $1 0
    StrCpy $2 ""
    System::Call 'kernel32::QueryFullProcessImageNameW(p r0, i 0, w .r2, *i ${NSIS_MAX_STRLEN}) i .r3'
    ${If} $3 <> 0
    ${AndIf} $2 == "$INSTDIR\${EXE}"
      StrCpy $1 1
    ${EndIf}
    Pop $3
    Pop $2
  FunctionEnd

  ; Opens the process behind window $R0 when it is a copy of the installed program: the window
  ; still belongs to it once its process is open (a process id can be reused meanwhile) and the
  ; process runs $INSTDIR\${EXE}. $2 is its id, $3 its handle, 0 when it is not such a copy.
  Function ${un}OpenCopyProcess
    Push $0
    Push $1
    StrCpy $2 0
    StrCpy $3 0
    System::Call 'user32::GetWindowThreadProcessId(p R0, *i .r2)'
    ; SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION | PROCESS_TERMINATE
    System::Call 'kernel32::OpenProcess(i 0x00101001, i 0, i r2) p .r0'
    ${If} $0 P<> 0
      System::Call 'user32::GetWindowThreadProcessId(p R0, *i .r1)'
      ${If} $1 = $2
        Call ${un}RunsInstalledProgram
      ${Else}
        StrCpy $1 0
      ${EndIf}
      ${If} $1 = 1
        StrCpy $3 $0
      ${Else}
        System::Call 'kernel32::CloseHandle(p r0)'
        ${Log} "Benzer pencere başka bir programın (işlem $2); dokunulmadı."
      ${EndIf}
    ${EndIf}
    Pop $1
    Pop $0
  FunctionEnd

  ; Ends process $2 (handle $3, closed here) after posting message $R1 ($R2, $R3) to its window
  ; $R0, as a user's command would: it gets EXIT_WAIT_MS to end by itself, and only then is it ended.
  Function ${un}EndCopy
    Push $0
    System::Call 'user32::PostMessageW(p R0, i R1, p R2, p R3)'
    System::Call 'kernel32::WaitForSingleObject(p r3, i ${EXIT_WAIT_MS}) i .r0'
    ${If} $0 = 0
      ${Log} "Çalışan kopya (işlem $2) kendi çıkış komutuyla kapandı."
    ${Else}
      System::Call 'kernel32::TerminateProcess(p r3, i ${ENDED_EXIT_CODE})'
      System::Call 'kernel32::WaitForSingleObject(p r3, i ${EXIT_WAIT_MS}) i .r0'
      ${Log} "Çalışan kopya (işlem $2) ${EXIT_WAIT_MS} ms içinde kapanmadı; işlemi sonlandırıldı."
    ${EndIf}
    System::Call 'kernel32::CloseHandle(p r3)'
    Pop $0
  FunctionEnd

  ; Finds the first top-level window of class $R4 and caption $R5 ("" for any) whose child $R6
  ; shows the text $R1 and whose process is a copy of the installed program, as a user recognises
  ; the program's windows: the window in $R0 (0 when there is none), that child in $R7, the process
  ; id and an open handle in $2 and $3 (see OpenCopyProcess).
  Function ${un}FindCopyWindow
    Push $R3
    StrCpy $R0 0
    ${Do}
      FindWindow $R0 $R4 $R5 "" $R0
      ${If} $R0 = 0
        ${Break}
      ${EndIf}
      System::Call 'user32::GetDlgItem(p R0, i R6) p .R7'
      ${If} $R7 P<> 0
        System::Call 'user32::GetWindowTextW(p R7, w .R3, i ${NSIS_MAX_STRLEN})'
        ${If} $R3 S== $R1
          Call ${un}OpenCopyProcess
          ${If} $3 P<> 0
            ${Break}
          ${EndIf}
        ${EndIf}
      ${EndIf}
    ${Loop}
    Pop $R3
  FunctionEnd

  ; Copies this desktop does not show (in another user's session when the setup runs as SYSTEM in
  ; session 0, or a copy without its windows) are found by the file they run. Each gets
  ; EXIT_WAIT_MS to end, then its process is ended.
  Function ${un}EndUnseenCopies
    Push $0
    Push $1
    Push $2
    Push $3
    Push $4
    Push $5
    Push $6
    Push $7
    System::Alloc 16384
    Pop $4
    System::Call 'kernel32::K32EnumProcesses(p r4, i 16384, *i .r5) i .r0'
    ${If} $0 = 0
      StrCpy $5 0
    ${EndIf}
    IntOp $5 $5 / 4
    StrCpy $6 0
    ${While} $6 < $5
      IntOp $7 $6 * 4
      IntPtrOp $7 $4 + $7
      System::Call '*$7(i .r2)'
      ; SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION | PROCESS_TERMINATE
      System::Call 'kernel32::OpenProcess(i 0x00101001, i 0, i r2) p .r0'
      ${If} $0 P<> 0
        Call ${un}RunsInstalledProgram
        ${If} $1 = 1
          System::Call 'kernel32::ProcessIdToSessionId(i r2, *i .r3)'
          System::Call 'kernel32::WaitForSingleObject(p r0, i ${EXIT_WAIT_MS}) i .r1'
          ${If} $1 = 0
            ${Log} "Oturum $3 içindeki kopya (işlem $2) kapandı."
          ${Else}
            System::Call 'kernel32::TerminateProcess(p r0, i ${ENDED_EXIT_CODE})'
            System::Call 'kernel32::WaitForSingleObject(p r0, i ${EXIT_WAIT_MS})'
            ${Log} "Oturum $3 içindeki kopyanın (işlem $2) penceresine ulaşılamadı; ${EXIT_WAIT_MS} ms sonra işlemi sonlandırıldı."
          ${EndIf}
        ${EndIf}
        System::Call 'kernel32::CloseHandle(p r0)'
      ${EndIf}
      IntOp $6 $6 + 1
    ${EndWhile}
    System::Free $4
    Pop $7
    Pop $6
    Pop $5
    Pop $4
    Pop $3
    Pop $2
    Pop $1
    Pop $0
  FunctionEnd

  ; Ends every running copy of the program: through its exit command when this desktop shows its
  ; main window, by closing a splash that has not handed over yet, and by its file otherwise.
  Function ${un}EndRunningCopies
    Push $R0
    Push $R1
    Push $R2
    Push $R3
    Push $R4
    Push $R5
    Push $R6
    Push $R7
    Push $R9
    Push $2
    Push $3
    StrCpy $R9 0  ; copies ended: a bound, in case a window will not go
    ${Do}
      StrCpy $R4 "${MAIN_CLASS}"
      StrCpy $R5 "${PRODUCT}"
      StrCpy $R6 ${EXIT_BUTTON_ID}
      StrCpy $R1 "${EXIT_CAPTION}"
      Call ${un}FindCopyWindow
      ${If} $R0 <> 0
        ; WM_COMMAND, BN_CLICKED from the exit button: what a click on it sends.
        StrCpy $R1 0x111
        StrCpy $R2 ${EXIT_BUTTON_ID}
        StrCpy $R3 $R7
      ${Else}
        StrCpy $R4 "${SPLASH_CLASS}"
        StrCpy $R5 ""
        StrCpy $R6 ${SPLASH_NAME_LABEL_ID}
        StrCpy $R1 "${SPLASH_NAME}"
        Call ${un}FindCopyWindow
        ; WM_CLOSE: a splash closed before it hands over ends the program.
        StrCpy $R1 0x10
        StrCpy $R2 0
        StrCpy $R3 0
      ${EndIf}
      ${If} $R0 = 0
        ${Break}
      ${EndIf}
      Call ${un}EndCopy
      IntOp $R9 $R9 + 1
      ${If} $R9 >= 20
        ${Break}
      ${EndIf}
    ${Loop}
    Call ${un}EndUnseenCopies
    Pop $3
    Pop $2
    Pop $R9
    Pop $R7
    Pop $R6
    Pop $R5
    Pop $R4
    Pop $R3
    Pop $R2
    Pop $R1
    Pop $R0
  FunctionEnd
!macroend
