; The NSIS setup and the MSI package (installer/package.wxs) refuse each other's install, so that
; one program, one entry and one task remain. Windows Installer knows the package, any version of
; either bitness, by its UpgradeCode, in installer/upgrade-code.txt (the package's too).
!define /file MSI_UPGRADE_CODE "${__FILEDIR__}\upgrade-code.txt"

; Stops the setup with exit code 2, logged, while the MSI package's install is there.
Function RefuseOverMsiInstall
  Push $0
  Push $1
  System::Call 'msi::MsiEnumRelatedProductsW(w "{${MSI_UPGRADE_CODE}}", i 0, i 0, w .r0) i .r1'
  ${If} $1 = 0
    ${Fail} "${PRODUCT} MSI paketiyle kurulu (ürün kodu $0): önce onu kaldırın (msiexec /x $0), sonra bu kurulumu çalıştırın."
  ${EndIf}
  Pop $1
  Pop $0
FunctionEnd
