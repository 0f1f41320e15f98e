; Functions of the setup that its uninstaller uses too: the log, failing with a reason, the check
; for administrator rights and ending running copies of the program. setup.nsi includes this file
; once and inserts SHARED_FUNCTIONS twice, for the installer and for the uninstaller ("un.").

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
  ; Appends one time-stamped line to the log (UTF-16, as Notepad and PowerShell read it).
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
    ClearErrors
    ${IfNot} ${FileExists} $LogPath
      FileOpen $R1 $LogPath w
      ${IfNot} ${Errors}
        FileWriteUTF16LE /BOM $R1 ""
      ${EndIf}
    ${Else}
      FileOpen $R1 $LogPath a
    ${EndIf}
    ${IfNot} ${Errors}
      FileSeek $R1 0 END
      ${GetTime} "" "L" $0 $1 $2 $3 $4 $5 $6
      FileWriteUTF16LE $R1 "$2-$1-$0 $4:$5:$6 $R0$\r$\n"
      FileClose $R1
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

  ; The log goes to /LOG=<file>, or to the temporary folder of whoever runs the setup.
  Function ${un}OpenLog
    Push $0
    Push $1
    ${GetParameters} $0
    ClearErrors
    ${GetOptions} $0 "/LOG=" $1
    ${If} ${Errors}
    ${OrIf} $1 == ""
      StrCpy $1 "$TEMP\${LOG_NAME}"
    ${EndIf}
    StrCpy $LogPath $1
    Pop $1
    Pop $0
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

  ; Ends the process behind window $R0 after posting it message $R1 ($R2, $R3), as a user's
  ; command would: it gets EXIT_WAIT_MS to end by itself, and only then is its process ended.
  Function ${un}EndCopy
    Push $R4
    Push $R5
    Push $R6
    System::Call 'user32::GetWindowThreadProcessId(p R0, *i .R4)'
    ; SYNCHRONIZE | PROCESS_TERMINATE
    System::Call 'kernel32::OpenProcess(i 0x00100001, i 0, i R4) p .R5'
    System::Call 'user32::PostMessageW(p R0, i R1, p R2, p R3)'
    ${If} $R5 P<> 0
      System::Call 'kernel32::WaitForSingleObject(p R5, i ${EXIT_WAIT_MS}) i .R6'
      ${If} $R6 = 0
        ${Log} "Çalışan kopya (işlem $R4) kendi çıkış komutuyla kapandı."
      ${Else}
        System::Call 'kernel32::TerminateProcess(p R5, i ${ENDED_EXIT_CODE})'
        System::Call 'kernel32::WaitForSingleObject(p R5, i ${EXIT_WAIT_MS}) i .R6'
        ${Log} "Çalışan kopya (işlem $R4) ${EXIT_WAIT_MS} ms içinde kapanmadı; işlemi sonlandırıldı."
      ${EndIf}
      System::Call 'kernel32::CloseHandle(p R5)'
    ${Else}
      ; Its process cannot be opened: watch its window instead.
      StrCpy $R6 0
      ${DoWhile} $R6 < ${EXIT_WAIT_MS}
        System::Call 'user32::IsWindow(p R0) i .R5'
        ${If} $R5 = 0
          ${Break}
        ${EndIf}
        Sleep 100
        IntOp $R6 $R6 + 100
      ${Loop}
      ${Log} "Çalışan kopyaya (işlem $R4) çıkış komutu gönderildi."
    ${EndIf}
    Pop $R6
    Pop $R5
    Pop $R4
  FunctionEnd

  ; Finds the first top-level window of class $R4 and caption $R5 ("" for any) whose child $R6
  ; shows the text $R1, as a user recognises the program's windows: the window in $R0 (0 when
  ; there is none) and that child in $R7.
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
          ${Break}
        ${EndIf}
      ${EndIf}
    ${Loop}
    Pop $R3
  FunctionEnd

  ; Ends every running copy of the program that this user's desktop shows: a main window
  ; through its exit command, a splash that has not handed over yet by closing it.
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
      ${OrIf} $R9 >= 20
        ${Break}
      ${EndIf}
      Call ${un}EndCopy
      IntOp $R9 $R9 + 1
    ${Loop}
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
