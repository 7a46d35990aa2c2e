; The XLT installer for 64-bit Windows. scripts/build-windows.sh makes it:
;   makensis -DVERSION=1.0.0.1 -DSTAGE=<folder> -DLISTS=<folder> -DICON=<xlt.ico>
;            -DOUTFILE=<setup.exe> xlt.nsi
; STAGE holds what is installed; LISTS holds files.nsh and uninstall-files.nsh, which list it.
; A silent install: XLT-<version>-setup.exe /S [/D=C:\path]; a silent removal:
; "<folder>\Uninstall.exe" /S. The user's settings (HKCU\Software\XLT) and logs stay.
Unicode true
Target amd64-unicode
SetCompressor /SOLID lzma
RequestExecutionLevel admin

!include "MUI2.nsh"

!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\XLT"

Name "XLT ${VERSION}"
OutFile "${OUTFILE}"
InstallDir "$PROGRAMFILES64\XLT"
InstallDirRegKey HKLM "Software\XLT" "InstallDir"

VIProductVersion "${VERSION}"
VIFileVersion "${VERSION}"
VIAddVersionKey "ProductName" "XLT"
VIAddVersionKey "CompanyName" "Xeltan"
VIAddVersionKey "FileDescription" "XLT installer"
VIAddVersionKey "FileVersion" "${VERSION}"
VIAddVersionKey "ProductVersion" "${VERSION}"
VIAddVersionKey "LegalCopyright" "Xeltan"

!define MUI_ICON "${ICON}"
!define MUI_UNICON "${ICON}"
!define MUI_FINISHPAGE_RUN "$INSTDIR\xlt.exe"
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_PAGE_FINISH
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "English"

Section "XLT"
  SetShellVarContext all
  SetOutPath "$INSTDIR"
  !include "${LISTS}/files.nsh"
  WriteUninstaller "$INSTDIR\Uninstall.exe"

  CreateDirectory "$SMPROGRAMS\XLT"
  CreateShortcut "$SMPROGRAMS\XLT\XLT.lnk" "$INSTDIR\xlt.exe"
  CreateShortcut "$SMPROGRAMS\XLT\Uninstall XLT.lnk" "$INSTDIR\Uninstall.exe"

  WriteRegStr HKLM "Software\XLT" "InstallDir" "$INSTDIR"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "XLT"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "Publisher" "Xeltan"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\xlt.exe"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\Uninstall.exe"'
  WriteRegStr HKLM "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\Uninstall.exe" /S'
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1
SectionEnd

; Only what the installer put there is removed: the folder itself goes only when it is empty,
; so a folder chosen by the user keeps whatever else it holds.
Section "Uninstall"
  SetShellVarContext all
  !include "${LISTS}/uninstall-files.nsh"
  Delete "$INSTDIR\Uninstall.exe"
  RMDir "$INSTDIR"
  Delete "$SMPROGRAMS\XLT\XLT.lnk"
  Delete "$SMPROGRAMS\XLT\Uninstall XLT.lnk"
  RMDir "$SMPROGRAMS\XLT"
  DeleteRegKey HKLM "${UNINSTALL_KEY}"
  DeleteRegKey HKLM "Software\XLT"
SectionEnd
