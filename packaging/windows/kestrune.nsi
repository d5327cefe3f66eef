; Kestrune's Windows installer, built by scripts/package.sh with Debian's makensis:
;   makensis -DVERSION=1.02 -DVERSION_QUAD=1.2.0.0 -DARCH=x64|x86 -DSTAGE=<folder> -DOUTFILE=<exe>
; STAGE holds what the zip holds: Kestrune.exe, LICENSE.txt and help\help.htm. The MIT licence
; asks for no acceptance, so there is no licence page.
; Installs for the current user, without administrator rights, into
; %LOCALAPPDATA%\Programs\Kestrune, with a Start-menu shortcut and an entry among the installed
; programs. /S installs silently; Uninstall.exe /S removes it silently.

!ifndef VERSION | VERSION_QUAD | ARCH | STAGE | OUTFILE
  !error "VERSION, VERSION_QUAD, ARCH, STAGE and OUTFILE must be defined (see the top of this file)"
!endif

Unicode true
!if "${ARCH}" == "x64"
  ; A 64-bit installer for the 64-bit exe: it runs where 32-bit programs cannot.
  Target amd64-unicode
!else if "${ARCH}" == "x86"
  Target x86-unicode
!else
  !error "ARCH must be x64 or x86, not ${ARCH}"
!endif

!include "MUI2.nsh"
!include "FileFunc.nsh"

!define PRODUCT "Kestrune"
!define PUBLISHER "Kestrune"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\${PRODUCT}"

Name "${PRODUCT} ${VERSION}"
OutFile "${OUTFILE}"
SetCompressor /SOLID lzma
RequestExecutionLevel user
InstallDir "$LOCALAPPDATA\Programs\${PRODUCT}"
; A path chosen at an earlier install is kept.
InstallDirRegKey HKCU "${UNINSTALL_KEY}" "InstallLocation"
ShowInstDetails nevershow
ShowUninstDetails nevershow

VIProductVersion "${VERSION_QUAD}"
VIFileVersion "${VERSION_QUAD}"
VIAddVersionKey /LANG=1033 "ProductName" "${PRODUCT}"
VIAddVersionKey /LANG=1033 "ProductVersion" "${VERSION}"
VIAddVersionKey /LANG=1033 "FileVersion" "${VERSION}"
VIAddVersionKey /LANG=1033 "CompanyName" "${PUBLISHER}"
VIAddVersionKey /LANG=1033 "FileDescription" "${PRODUCT} ${VERSION} Setup"
; The copyright line of LICENSE.
VIAddVersionKey /LANG=1033 "LegalCopyright" "Copyright (c) 2026 The Kestrune developers"

!define MUI_ICON "${__FILEDIR__}\..\..\res\icons\postcard.ico"
!define MUI_UNICON "${__FILEDIR__}\..\..\res\icons\postcard.ico"
!define MUI_ABORTWARNING
!define MUI_FINISHPAGE_RUN "$INSTDIR\Kestrune.exe"
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_PAGE_FINISH
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "English"

Section "Kestrune"
  SetShellVarContext current
  SetOutPath "$INSTDIR"
  File "${STAGE}/Kestrune.exe"
  File "${STAGE}/LICENSE.txt"
  SetOutPath "$INSTDIR\help"
  File "${STAGE}/help/help.htm"
  SetOutPath "$INSTDIR"
  WriteUninstaller "$INSTDIR\Uninstall.exe"

  CreateShortcut "$SMPROGRAMS\${PRODUCT}.lnk" "$INSTDIR\Kestrune.exe"

  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayName" "${PRODUCT}"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "Publisher" "${PUBLISHER}"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\Kestrune.exe,0"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\Uninstall.exe"'
  WriteRegStr HKCU "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\Uninstall.exe" /S'
  WriteRegStr HKCU "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "URLInfoAbout" "https://kestrune.net"
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoRepair" 1
  ; In KB, as the list of installed programs shows it.
  ${GetSize} "$INSTDIR" "/S=0K" $0 $1 $2
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "EstimatedSize" $0
SectionEnd

Section "Uninstall"
  SetShellVarContext current
  Delete "$SMPROGRAMS\${PRODUCT}.lnk"
  Delete "$INSTDIR\help\help.htm"
  RMDir "$INSTDIR\help"
  Delete "$INSTDIR\Kestrune.exe"
  Delete "$INSTDIR\LICENSE.txt"
  Delete "$INSTDIR\Uninstall.exe"
  ; Without /r: files the user put there stay, and so does the folder then.
  RMDir "$INSTDIR"
  DeleteRegKey HKCU "${UNINSTALL_KEY}"
SectionEnd
