; The installer of the agent for Windows hosts, made by `./run package-windows` with makensis.
; Installs TarvoMonitorAgent.exe and the example ini into a folder of the operator's choosing
; (the installation folder of the order-submission programs, next to cfgA\, cfgB\, monitor\
; and tarvo.ini), registers the service TarvoMonitorAgent for that folder and adds the
; uninstaller. The service is not started: its ACCESS_CONTROL must name the consoles first.
; Silent: TarvoMonitorAgent-VERSION-setup.exe /S /D=C:\tarvo
; A 64-bit installer, like the agent it installs (and runnable where only 64-bit programs run).
Target amd64-unicode
!include "MUI2.nsh"

!ifndef VERSION
  !define VERSION "0.0.0"
!endif
!ifndef STAGE
  !error "STAGE names the folder with the files to install"
!endif
!ifndef OUTFILE
  !define OUTFILE "TarvoMonitorAgent-${VERSION}-setup.exe"
!endif

Name "TarvoMonitor agent ${VERSION}"
OutFile "${OUTFILE}"
InstallDir "C:\tarvo"
RequestExecutionLevel admin
SetCompressor /SOLID lzma
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\TarvoMonitorAgent"

!define MUI_DIRECTORYPAGE_TEXT_TOP "Choose the installation folder of the order-submission programs (the folder with cfgA, cfgB, monitor and tarvo.ini). The agent watches the installation in that folder."
!define MUI_FINISHPAGE_TEXT "The service TarvoMonitorAgent is registered and starts with the system. Name the consoles allowed in under [ACCESS_CONTROL] of TarvoMonitorAgent.ini, check it with TarvoMonitorAgent --check-config, then start it with TarvoMonitorAgent --start-service."
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_PAGE_FINISH
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "English"
!insertmacro MUI_LANGUAGE "SimpChinese"

Section "TarvoMonitor agent"
  SetOutPath "$INSTDIR"
  ; A running agent of an earlier installation is stopped and unregistered first.
  IfFileExists "$INSTDIR\TarvoMonitorAgent.exe" 0 +2
    ExecWait '"$INSTDIR\TarvoMonitorAgent.exe" --remove-service'
  File "${STAGE}\TarvoMonitorAgent.exe"
  File "${STAGE}\TarvoMonitorAgent.ini.example"
  File "${STAGE}\INSTALL.txt"
  ; The operator's settings are never overwritten.
  IfFileExists "$INSTDIR\TarvoMonitorAgent.ini" +2 0
    CopyFiles /SILENT "$INSTDIR\TarvoMonitorAgent.ini.example" "$INSTDIR\TarvoMonitorAgent.ini"
  WriteUninstaller "$INSTDIR\Uninstall-TarvoMonitorAgent.exe"
  ExecWait '"$INSTDIR\TarvoMonitorAgent.exe" --install-service --dir "$INSTDIR"' $0
  StrCmp $0 "0" +2 0
    MessageBox MB_ICONEXCLAMATION|MB_OK "The service could not be registered (exit code $0). Run TarvoMonitorAgent --install-service as Administrator." /SD IDOK
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "TarvoMonitor agent"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "Publisher" "Tarvo"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\Uninstall-TarvoMonitorAgent.exe"'
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1
SectionEnd

; The settings (TarvoMonitorAgent.ini) and the logs stay.
Section "Uninstall"
  ExecWait '"$INSTDIR\TarvoMonitorAgent.exe" --remove-service'
  Delete "$INSTDIR\TarvoMonitorAgent.exe"
  Delete "$INSTDIR\TarvoMonitorAgent.ini.example"
  Delete "$INSTDIR\INSTALL.txt"
  Delete "$INSTDIR\Uninstall-TarvoMonitorAgent.exe"
  DeleteRegKey HKLM "${UNINSTALL_KEY}"
SectionEnd
