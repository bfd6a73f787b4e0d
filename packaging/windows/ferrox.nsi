; The Windows installer of one architecture: the programs, a Start menu
; entry, a "Send to" entry (the shell passes the selected files on the
; command line), and an uninstaller listed among the installed programs.
; Built by scripts/build-release.sh, which defines VERSION, BIN (the folder
; of ferrox.exe and ferrox-cli.exe), ICON, OUTFILE, and X64 for the 64-bit
; installer, itself a 64-bit program.
Unicode true
!ifdef X64
  Target amd64-unicode
!endif

Name "Ferrox ${VERSION}"
OutFile "${OUTFILE}"
Icon "${ICON}"
UninstallIcon "${ICON}"
RequestExecutionLevel admin
InstallDir "$PROGRAMFILES\Ferrox"
ShowInstDetails show
VIProductVersion "${VERSION}.0"
VIAddVersionKey "ProductName" "Ferrox"
VIAddVersionKey "FileDescription" "Ferrox setup"
VIAddVersionKey "FileVersion" "${VERSION}"
VIAddVersionKey "ProductVersion" "${VERSION}"
VIAddVersionKey "LegalCopyright" "Ferrox developers"

!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Ferrox"

; The licence comes first; makensis reads it relative to this script.
; Silent installs skip the page.
LicenseData "..\..\COPYING"
LicenseText "Ferrox is free software under the GNU General Public License, version 3 or later." "&Next >"
Page license
Page directory
Page instfiles
UninstPage uninstConfirm
UninstPage instfiles

!ifdef X64
Function .onInit
  SetRegView 64
  StrCpy $INSTDIR "$PROGRAMFILES64\Ferrox"
FunctionEnd

Function un.onInit
  SetRegView 64
FunctionEnd
!endif

Section "Ferrox"
  SetOutPath "$INSTDIR"
  File "${BIN}\ferrox.exe"
  File "${BIN}\ferrox-cli.exe"
  WriteUninstaller "$INSTDIR\uninstall.exe"

  SetShellVarContext all
  CreateDirectory "$SMPROGRAMS\Ferrox"
  CreateShortcut "$SMPROGRAMS\Ferrox\Ferrox.lnk" "$INSTDIR\ferrox.exe"
  ; "Send to" belongs to the user who installs.
  SetShellVarContext current
  CreateShortcut "$SENDTO\Ferrox.lnk" "$INSTDIR\ferrox.exe"

  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "Ferrox"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\ferrox.exe"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
  WriteRegStr HKLM "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1
SectionEnd

Section "Uninstall"
  Delete "$INSTDIR\ferrox.exe"
  Delete "$INSTDIR\ferrox-cli.exe"
  Delete "$INSTDIR\uninstall.exe"
  RMDir "$INSTDIR"
  SetShellVarContext all
  Delete "$SMPROGRAMS\Ferrox\Ferrox.lnk"
  RMDir "$SMPROGRAMS\Ferrox"
  SetShellVarContext current
  Delete "$SENDTO\Ferrox.lnk"
  DeleteRegKey HKLM "${UNINSTALL_KEY}"
SectionEnd
