; Setup of Dravonil Veriz Avize: a per-machine install into Program Files with a Start-menu
; shortcut, an entry in "Programs and Features" and, if chosen, a Task Scheduler task that starts
; the program when a user signs in. Turkish user interface; /S installs silently.
;
; makensis -INPUTCHARSET UTF8 -DCONFIG=<config.nsh> -DPROGRAM_FILE=<the .exe> -DOUTFILE=<setup.exe>
;          [-DSIGN_COMMAND=<program that signs the file named by its one argument>] setup.nsi
; installer/CMakeLists.txt writes config.nsh and builds the setup of each build tree;
; scripts/release builds the released ones, signed when a certificate is given.
;
; Exit codes: 0 done, 1 cancelled by the user, 2 failed (the reason is in the log),
; 740 started without administrator rights.

!include "${CONFIG}"
!include "${SIGN_IN_TASK_NSH}"

Unicode true
ManifestDPIAware true
ManifestSupportedOS all
RequestExecutionLevel admin
SetCompressor /SOLID lzma

!if "${ARCH}" == "x64"
  Target amd64-unicode
  !define REGVIEW 64
  !define OTHER_REGVIEW 32
  !define DEFAULT_FOLDER "$PROGRAMFILES64\Dravonil Veriz Avize"
!else
  Target x86-unicode
  !define REGVIEW 32
  !define OTHER_REGVIEW 64
  !define DEFAULT_FOLDER "$PROGRAMFILES32\Dravonil Veriz Avize"
!endif
InstallDir "${DEFAULT_FOLDER}"

!define PRODUCT "Dravonil Veriz Avize"
!define EXE "Dravonil Veriz Avize.exe"
!define UNINSTALLER "uninstall.exe"
!define UNINST_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Dravonil Veriz Avize"
!define TASK "Dravonil Veriz Avize"
; The task definition handed to schtasks, kept beside the program for administrators to read.
!define TASK_XML "oturum-acilisi-gorevi.xml"
; Each run logs to a file of its own: <prefix>-<date>-<time>-<process id>-setup.log (or -uninstall.log).
!define LOG_PREFIX "Dravonil-Veriz-Avize"
; The program reports to the Windows event log under this source.
!define EVENT_SOURCE_KEY "SYSTEM\CurrentControlSet\Services\EventLog\Application\Dravonil Veriz Avize"
; One setup at a time on the machine: the one that holds this file of the product's ProgramData
; folder open without sharing.
!define SETUP_LOCK "kurulum.kilit"
; The program's windows as a user sees them: the main window and its exit command, the splash.
!define EXIT_CAPTION "Çıkış"
!define SPLASH_NAME "Dravonil Veriz Avize 0.1"
; How long a running copy gets to end through its exit command before its process is ended.
!define EXIT_WAIT_MS 5000
; The exit code given to a copy that had to be ended.
!define ENDED_EXIT_CODE 1

!ifdef SIGN_COMMAND
  ; The uninstaller is made inside makensis: it is signed there, before it is packed.
  !uninstfinalize '"${SIGN_COMMAND}" "%1"' = 0
!endif

Name "${PRODUCT}"
OutFile "${OUTFILE}"
InstallDirRegKey HKLM "${UNINST_KEY}" "InstallLocation"
BrandingText "${PRODUCT} ${VERSION}"
ShowInstDetails show
ShowUninstDetails show

!include MUI2.nsh
!include LogicLib.nsh
!include FileFunc.nsh
!include WordFunc.nsh
!include x64.nsh

!define MUI_ICON "${ICON}"
!define MUI_UNICON "${ICON}"
!define MUI_ABORTWARNING
!define MUI_COMPONENTSPAGE_SMALLDESC
!insertmacro MUI_PAGE_WELCOME
!insertmacro MUI_PAGE_COMPONENTS
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!define MUI_FINISHPAGE_RUN
!define MUI_FINISHPAGE_RUN_TEXT "${PRODUCT} programını şimdi başlat"
!define MUI_FINISHPAGE_RUN_FUNCTION StartNow
!insertmacro MUI_PAGE_FINISH
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "Turkish"

VIProductVersion "${VERSION}"
VIFileVersion "${VERSION}"
VIAddVersionKey /LANG=${LANG_TURKISH} "ProductName" "${PRODUCT}"
VIAddVersionKey /LANG=${LANG_TURKISH} "ProductVersion" "${VERSION}"
VIAddVersionKey /LANG=${LANG_TURKISH} "FileVersion" "${VERSION}"
VIAddVersionKey /LANG=${LANG_TURKISH} "FileDescription" "${PRODUCT} Kurulumu"
VIAddVersionKey /LANG=${LANG_TURKISH} "CompanyName" "${PUBLISHER}"
VIAddVersionKey /LANG=${LANG_TURKISH} "LegalCopyright" "${COPYRIGHT}"

Var LogPath
; The install folder as first checked, and the highest folder of its path missing then.
Var CheckedFolder
Var FolderMissingAtCheck

!addincludedir "${__FILEDIR__}"
!include "shared.nsh"
!insertmacro SHARED_FUNCTIONS ""
!insertmacro SHARED_FUNCTIONS "un."
!include "msi_guard.nsh"

; ---- Installer ----


Function .onInstFailed
  ${Log} "Kurulum tamamlanamadı."
FunctionEnd

Function StartNow
  SetOutPath $INSTDIR
  Exec '"$INSTDIR\${EXE}"'
FunctionEnd

; Runs the uninstaller of an earlier install in folder $0, whose entry lies in registry view $2,
; and waits for it. An install made by an older setup may sit in a folder users can change: its
; uninstaller is run only if that folder passes the same check as a new one. Otherwise nothing is
; run from there: the setup removes the earlier task, entry, shortcut and event source itself and
; leaves the folder as it is.
Function RemoveEarlierInstall
  Push $R0
  Push $R1
  ${If} ${FileExists} "$0\${UNINSTALLER}"
    StrCpy $R1 $0
    Call CheckFolder
    ${If} $R0 == ""
      ${Log} "Önceki kurulum kaldırılıyor: $0"
      ClearErrors
      ExecWait '"$0\${UNINSTALLER}" /S _?=$0' $1
      ${Log} "Önceki kurulumun kaldırıcısı bitti (çıkış kodu $1)."
      Delete "$0\${UNINSTALLER}"
      RMDir "$0"
    ${Else}
      ${Log} "Önceki kurulumun klasörü güvenli değil ($R0); oradan hiçbir şey çalıştırılmadı, klasör olduğu gibi bırakıldı: $0"
      Push '"$SYSDIR\schtasks.exe" /Delete /TN "${TASK}" /F'
      Call RunCommand
      ${If} $2 = 32
        SetRegView 32
      ${Else}
        SetRegView 64
      ${EndIf}
      DeleteRegKey HKLM "${UNINST_KEY}"
      SetRegView ${REGVIEW}
      Delete "$SMPROGRAMS\${PRODUCT}.lnk"
      DeleteRegKey HKLM "${EVENT_SOURCE_KEY}"
      ${Log} "Önceki kurulumun görevi, kaydı, kısayolu ve olay günlüğü kaynağı silindi."
    ${EndIf}
  ${EndIf}
  Pop $R1
  Pop $R0
FunctionEnd

!macro REMOVE_EARLIER_INSTALL_OF_OTHER_BITNESS
  SetRegView ${OTHER_REGVIEW}
  ReadRegStr $0 HKLM "${UNINST_KEY}" "InstallLocation"
  SetRegView ${REGVIEW}
  ${If} $0 != ""
    StrCpy $2 ${OTHER_REGVIEW}
    Call RemoveEarlierInstall
  ${EndIf}
!macroend

; An earlier install in another folder, or of the other bitness, is removed first, so that
; one program, one entry and one task remain.
Function RemoveEarlierInstallsElsewhere
  Push $0
  Push $1
  Push $2
  ReadRegStr $0 HKLM "${UNINST_KEY}" "InstallLocation"
  ${If} $0 != ""
  ${AndIf} $0 != $INSTDIR
    StrCpy $2 ${REGVIEW}
    Call RemoveEarlierInstall
  ${EndIf}
  ; 64-bit Windows has both views; a 32-bit one only the 32-bit view.
  !if "${ARCH}" == "x86"
    ${If} ${RunningX64}
      !insertmacro REMOVE_EARLIER_INSTALL_OF_OTHER_BITNESS
    ${EndIf}
  !else
    !insertmacro REMOVE_EARLIER_INSTALL_OF_OTHER_BITNESS
  !endif
  Pop $2
  Pop $1
  Pop $0
FunctionEnd

; NSIS starts from the folder of the earlier install (InstallDirRegKey). One that users may change
; now (an older setup may have used such a folder) is not used again: the default one is.
Function AvoidUnsafeEarlierFolder
  Push $R0
  Push $R1
  ReadRegStr $R1 HKLM "${UNINST_KEY}" "InstallLocation"
  ${If} $R1 != ""
  ${AndIf} $R1 == $INSTDIR
    Call CheckFolder
    ${If} $R0 != ""
      ${Log} "Önceki kurulumun klasörü güvenli değil ($R0); varsayılan klasör kullanılır."
      StrCpy $INSTDIR "${DEFAULT_FOLDER}"
    ${EndIf}
  ${EndIf}
  Pop $R1
  Pop $R0
FunctionEnd

; $0 = the full form of path $0, without a trailing backslash.
Function FullPath
  Push $1
  Push $2
  System::Call 'kernel32::GetFullPathNameW(w r0, i ${NSIS_MAX_STRLEN}, w .r1, p 0) i .r2'
  ${If} $2 <> 0
    StrCpy $0 $1
  ${EndIf}
  StrCpy $1 $0 "" -1
  StrLen $2 $0
  ${If} $1 == "\"
  ${AndIf} $2 > 3
    StrCpy $0 $0 -1
  ${EndIf}
  Pop $2
  Pop $1
FunctionEnd

; NSIS drops a /D= folder it finds unusable (an existing file, a path it cannot reach, a drive's
; root) and installs into the default one instead. The folder asked for is taken from the command
; line as it was given (/D= is last, the rest of the line is the folder): it is checked and refused
; with its reason, or, if NSIS alone refused it, with that.
Function CheckFolderOption
  Push $0
  Push $1
  System::Call 'kernel32::GetCommandLineW() w .r0'
  ClearErrors
  ${WordFind} $0 " /D=" "+1}" $1
  ${IfNot} ${Errors}
  ${AndIf} $1 != $0
    StrCpy $0 $INSTDIR
    Call FullPath
    StrCpy $INSTDIR $1
    ${If} $1 != ""
      Call CheckInstallFolder
    ${EndIf}
    ${If} $INSTDIR != $0
      ${Fail} "Kurulum klasörü kullanılamaz: $1"
    ${EndIf}
  ${EndIf}
  Pop $1
  Pop $0
FunctionEnd

; Refuses an install folder that a user could change: on a network path, an existing file, a
; junction or symbolic link, a folder owned by someone else than the administrators (see
; CheckFolder). $INSTDIR becomes a full path first, so that ".." cannot hide where it leads.
Function CheckInstallFolder
  Push $R0
  Push $R1
  Push $0
  Push $1
  StrCpy $0 $INSTDIR
  Call FullPath
  StrCpy $INSTDIR $0
  StrCpy $0 $INSTDIR 2
  StrCpy $1 $INSTDIR 3
  System::Call 'kernel32::GetDriveTypeW(w r1) i .r1'
  ${If} $0 == "\\"
  ${OrIf} $1 = 4  ; DRIVE_REMOTE
    ${Fail} "Kurulum klasörü kullanılamaz (ağ yolu): $INSTDIR"
  ${EndIf}
  ; Fixed drives only: a stick, a card or a disc can be prepared on another computer and put in
  ; after the check.
  ${If} $1 <> 3  ; DRIVE_FIXED
    ${Fail} "Kurulum klasörü kullanılamaz (sabit bir sürücüde değil): $INSTDIR"
  ${EndIf}
  StrCpy $R1 $INSTDIR
  Call CheckFolder
  ${If} $R0 != ""
    ${Fail} "Kurulum klasörü kullanılamaz ($R0): $INSTDIR"
  ${EndIf}
  ${If} $INSTDIR != $CheckedFolder
    StrCpy $CheckedFolder $INSTDIR
    StrCpy $FolderMissingAtCheck $HighestMissing
  ${EndIf}
  ; A folder that is there already holds nothing, or only the files of an earlier install: a file
  ; someone put there beforehand would keep its owner and permissions in the locked folder.
  FindFirst $0 $1 "$INSTDIR\*"
  ${DoWhile} $1 != ""
    ${If} $1 != "."
    ${AndIf} $1 != ".."
    ${AndIf} $1 != "${EXE}"
    ${AndIf} $1 != "${UNINSTALLER}"
    ${AndIf} $1 != "${TASK_XML}"
      FindClose $0
      ${Fail} "Kurulum klasörü kullanılamaz (boş değil ve bu programın önceki kurulumu değil: $1): $INSTDIR"
    ${EndIf}
    FindNext $0 $1
  ${Loop}
  FindClose $0
  Pop $1
  Pop $0
  Pop $R1
  Pop $R0
FunctionEnd

; Deletes the file $R1 of the install folder, so that it is written anew rather than into the file
; that was there (which keeps its owner and permissions, and any other name it has).
Function DeleteBeforeWriting
  Delete $R1
  ${If} ${FileExists} $R1
    ${Fail} "Dosya değiştirilemedi (hâlâ kullanımda olabilir): $R1"
  ${EndIf}
FunctionEnd

Section "!${PRODUCT} (gerekli)" SecProgram
  SectionIn RO
  ; Again: the folder page may have changed it since .onInit.
  Call CheckInstallFolder
  ${Log} "Klasör: $INSTDIR"
  ; The folder is made (or, if it is there, set) so that only administrators can change it, before
  ; anything is written into it; in Program Files too, rather than trusting what a vendor's folder
  ; above it passes down.
  StrCpy $R1 $INSTDIR
  StrCpy $R2 1
  StrCpy $MissingAtCheck $FolderMissingAtCheck
  Call MakeFolder
  Call EndRunningCopies
  Call RemoveEarlierInstallsElsewhere
  SetOutPath $INSTDIR
  ; The old program goes first: if a copy nobody could end still holds it, nothing is replaced.
  Delete "$INSTDIR\${EXE}"
  ${If} ${FileExists} "$INSTDIR\${EXE}"
    ${Fail} "Program dosyası değiştirilemedi (hâlâ çalışıyor olabilir): $INSTDIR\${EXE}"
  ${EndIf}
  ClearErrors
  File "/oname=${EXE}" "${PROGRAM_FILE}"
  ${If} ${Errors}
  ${OrIfNot} ${FileExists} "$INSTDIR\${EXE}"
    ${Fail} "Program dosyası yazılamadı: $INSTDIR\${EXE}"
  ${EndIf}
  StrCpy $R1 "$INSTDIR\${UNINSTALLER}"
  Call DeleteBeforeWriting
  ClearErrors
  WriteUninstaller "$INSTDIR\${UNINSTALLER}"
  ${If} ${Errors}
    ${Fail} "Kaldırıcı yazılamadı: $INSTDIR\${UNINSTALLER}"
  ${EndIf}

  ClearErrors
  CreateShortcut "$SMPROGRAMS\${PRODUCT}.lnk" "$INSTDIR\${EXE}" "" "$INSTDIR\${EXE}" 0
  ${If} ${Errors}
    ${Fail} "Başlat menüsü kısayolu oluşturulamadı: $SMPROGRAMS\${PRODUCT}.lnk"
  ${EndIf}

  ClearErrors
  WriteRegStr HKLM "${UNINST_KEY}" "DisplayName" "${PRODUCT}"
  WriteRegStr HKLM "${UNINST_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKLM "${UNINST_KEY}" "Publisher" "${PUBLISHER}"
  WriteRegStr HKLM "${UNINST_KEY}" "DisplayIcon" "$INSTDIR\${EXE},0"
  WriteRegStr HKLM "${UNINST_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKLM "${UNINST_KEY}" "URLInfoAbout" "${HOME_PAGE}"
  WriteRegStr HKLM "${UNINST_KEY}" "UninstallString" '"$INSTDIR\${UNINSTALLER}"'
  WriteRegStr HKLM "${UNINST_KEY}" "QuietUninstallString" '"$INSTDIR\${UNINSTALLER}" /S'
  WriteRegDWORD HKLM "${UNINST_KEY}" "NoModify" 1
  WriteRegDWORD HKLM "${UNINST_KEY}" "NoRepair" 1
  ${GetSize} "$INSTDIR" "/S=0K" $0 $1 $2
  WriteRegDWORD HKLM "${UNINST_KEY}" "EstimatedSize" $0
  ${If} ${Errors}
    ${Fail} "Programlar ve Özellikler kaydı yazılamadı: HKLM\${UNINST_KEY}"
  ${EndIf}
  ${Log} "Program, kısayol ve kaldırma kaydı yazıldı."

  ; The program's event source: Event Viewer reads the texts of its events from the .exe.
  ClearErrors
  WriteRegExpandStr HKLM "${EVENT_SOURCE_KEY}" "EventMessageFile" "$INSTDIR\${EXE}"
  WriteRegDWORD HKLM "${EVENT_SOURCE_KEY}" "TypesSupported" 7
  ${If} ${Errors}
    ${Fail} "Olay günlüğü kaynağı kaydedilemedi: HKLM\${EVENT_SOURCE_KEY}"
  ${EndIf}
  ${Log} "Olay günlüğü kaynağı kaydedildi: HKLM\${EVENT_SOURCE_KEY}"
SectionEnd

; The task (installer/sign-in-task.xml) starts the program at every sign-in of a member of the
; built-in Users group, with the highest rights that user has (a program that asks for elevation is
; not started from a Run key), never stops it, starts no second one while it runs, and runs it at
; normal priority (a task's default, 7, would run it below normal).
Section "Oturum açılınca başlat" SecAutostart
  ; "&" is the one character of a Windows path that XML text needs escaped.
  ${WordReplace} "$INSTDIR" "&" "&amp;" "+" $2
  StrCpy $1 "$2\${EXE}"
  StrCpy $R1 "$INSTDIR\${TASK_XML}"
  Call DeleteBeforeWriting
  ClearErrors
  FileOpen $0 "$INSTDIR\${TASK_XML}" w
  ${If} ${Errors}
    ${Fail} "Görev tanımı yazılamadı: $INSTDIR\${TASK_XML}"
  ${EndIf}
  !insertmacro WRITE_SIGN_IN_TASK $0 $1 $2
  FileClose $0
  ; /F replaces the task of an earlier install: one task, whatever was there. The definition is
  ; registered from the install folder, where only administrators can change it.
  Push '"$SYSDIR\schtasks.exe" /Create /TN "${TASK}" /XML "$INSTDIR\${TASK_XML}" /F'
  Call RunCommand
  ${If} $0 != 0
    ${Fail} "Oturum açılışı görevi kaydedilemedi (schtasks çıkış kodu $0): $1"
  ${EndIf}
  ${Log} "Oturum açılışı görevi kaydedildi: ${TASK}"
SectionEnd

Section "-Without start at sign-in"
  ${IfNot} ${SectionIsSelected} ${SecAutostart}
    ; An upgrade without the option removes the task of the earlier install.
    Push '"$SYSDIR\schtasks.exe" /Delete /TN "${TASK}" /F'
    Call RunCommand
    Delete "$INSTDIR\${TASK_XML}"
    ${Log} "Oturum açılışında başlatma seçilmedi."
  ${EndIf}
  ${Log} "Kurulum tamamlandı."
SectionEnd

; After the sections: it refers to them.
Function .onInit
  Call MakePluginsFolder  ; before anything else: every plug-in is unpacked there
  Call RecogniseWine
  SetRegView ${REGVIEW}
  SetShellVarContext all
  Call OpenLog
  ${Log} "${PRODUCT} ${VERSION} (${ARCH}) kurulumu başladı: $CMDLINE"
  ${Log} "Eklenti klasörü: $PLUGINSDIR"
  Call RequireAdministrator
  ; One setup at a time: the one that holds the lock file open without sharing. It lies in a folder
  ; only administrators can write (a Global\ name, even a locked one, can be created first by any
  ; user and would block every install), and Windows closes it when the setup ends, however it ends.
  ; GENERIC_WRITE, no sharing, OPEN_ALWAYS, FILE_FLAG_OPEN_REPARSE_POINT | FILE_ATTRIBUTE_NORMAL
  System::Call 'kernel32::CreateFileW(w "$APPDATA\${PRODUCT}\${SETUP_LOCK}", i 0x40000000, i 0, p 0, i 4, i 0x00200080, p 0) p .r0 ?e'
  Pop $1
  ${If} $0 P= -1
    ${If} $1 <> 32  ; ERROR_SHARING_VIOLATION: another setup holds it
      ${Fail} "Kurulum kilidi açılamadı (hata $1): $APPDATA\${PRODUCT}\${SETUP_LOCK}"
    ${EndIf}
    ${Log} "HATA: başka bir kurulum zaten çalışıyor."
    MessageBox MB_OK|MB_ICONSTOP "Başka bir ${PRODUCT} kurulumu zaten çalışıyor." /SD IDOK
    SetErrorLevel 2
    Quit
  ${EndIf}
  Call RefuseOverMsiInstall
  Call AvoidUnsafeEarlierFolder
  Call CheckFolderOption
  Call CheckInstallFolder
  ; /NOAUTOSTART: no start at sign-in (and an existing task is removed).
  ${GetParameters} $0
  ClearErrors
  ${GetOptions} $0 "/NOAUTOSTART" $1
  ${IfNot} ${Errors}
    !insertmacro UnselectSection ${SecAutostart}
  ${EndIf}
FunctionEnd

!insertmacro MUI_FUNCTION_DESCRIPTION_BEGIN
  !insertmacro MUI_DESCRIPTION_TEXT ${SecProgram} "Program, Başlat menüsü kısayolu ve Programlar ve Özellikler kaydı."
  !insertmacro MUI_DESCRIPTION_TEXT ${SecAutostart} "Her kullanıcı oturum açınca korumayı Görev Zamanlayıcı ile başlatır."
!insertmacro MUI_FUNCTION_DESCRIPTION_END

; ---- Uninstaller ----

Function un.onInit
  Call un.MakePluginsFolder
  Call un.RecogniseWine
  SetRegView ${REGVIEW}
  SetShellVarContext all
  Call un.OpenLog
  ${Log} "${PRODUCT} ${VERSION} (${ARCH}) kaldırma başladı: $INSTDIR"
  ${Log} "Eklenti klasörü: $PLUGINSDIR"
  Call un.RequireAdministrator
FunctionEnd

Function un.onUninstFailed
  ${Log} "Kaldırma tamamlanamadı."
FunctionEnd

; Removes what the setup added, and nothing else: a C:\AutoRun.inf folder that the program made
; is the user's protection and stays, and so does anything else in the program's folder.
Section "Uninstall"
  Call un.EndRunningCopies

  Delete "$INSTDIR\${EXE}"
  ${If} ${FileExists} "$INSTDIR\${EXE}"
    ${Fail} "Program dosyası silinemedi (hâlâ çalışıyor olabilir): $INSTDIR\${EXE}"
  ${EndIf}

  Push '"$SYSDIR\schtasks.exe" /Delete /TN "${TASK}" /F'
  Call un.RunCommand
  ${If} $0 = 0
    ${Log} "Oturum açılışı görevi silindi."
  ${EndIf}
  Delete "$INSTDIR\${TASK_XML}"
  Delete "$SMPROGRAMS\${PRODUCT}.lnk"
  DeleteRegKey HKLM "${UNINST_KEY}"
  DeleteRegKey HKLM "${EVENT_SOURCE_KEY}"
  Delete "$INSTDIR\${UNINSTALLER}"
  RMDir "$INSTDIR"
  ${Log} "Kaldırma tamamlandı."
SectionEnd
