; Kestrune's Windows installer, built by scripts/package.sh with Debian's makensis:
;   makensis -DVERSION=1.02 -DVERSION_QUAD=1.2.0.0 -DARCH=x64|x86 -DSTAGE=<folder> -DOUTFILE=<exe>
; STAGE holds what the zip holds: Kestrune.exe, LICENSE.txt, help\help.css (every page's look),
; help\help.htm in English and help\<language tag>\help.htm in each language of KESTRUNE_LANGUAGES. The MIT licence asks for no
; acceptance, so there is no licence page.
; Installs for the current user, without administrator rights, into
; %LOCALAPPDATA%\Programs\Kestrune, with a Start-menu shortcut and an entry among the installed
; programs. /S installs silently; Uninstall.exe /S removes it silently.
; Installer and uninstaller speak the user's Windows display language when it is one of
; KESTRUNE_LANGUAGES, English otherwise (NSIS picks it at start: the first MUI_LANGUAGE is the
; fallback). This file is UTF-8 with a byte-order mark, which is how makensis knows it.

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
!include "LogicLib.nsh"

!define PRODUCT "Kestrune"
!define PUBLISHER "Kestrune"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\${PRODUCT}"

; The languages beside English: NSIS's name for each and the tag of its help page's folder.
!macro KESTRUNE_LANGUAGES DO
  !insertmacro ${DO} German de
  !insertmacro ${DO} French fr
  !insertmacro ${DO} Spanish es
  !insertmacro ${DO} Italian it
  !insertmacro ${DO} PortugueseBR pt-BR
  !insertmacro ${DO} Dutch nl
  !insertmacro ${DO} Polish pl
  !insertmacro ${DO} Russian ru
  !insertmacro ${DO} Japanese ja
  !insertmacro ${DO} SimpChinese zh-CN
!macroend

Name "${PRODUCT} ${VERSION}"
OutFile "${OUTFILE}"
SetCompressor /SOLID lzma
RequestExecutionLevel user
InstallDir "$LOCALAPPDATA\Programs\${PRODUCT}"
; A path chosen at an earlier install is kept.
InstallDirRegKey HKCU "${UNINSTALL_KEY}" "InstallLocation"
ShowInstDetails nevershow
ShowUninstDetails nevershow

!define MUI_ICON "${__FILEDIR__}\..\..\res\icons\postcard.ico"
!define MUI_UNICON "${__FILEDIR__}\..\..\res\icons\postcard.ico"
!define MUI_ABORTWARNING
!define MUI_FINISHPAGE_RUN "$INSTDIR\Kestrune.exe"
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_PAGE_FINISH
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES

!macro ADD_LANGUAGE NSIS_NAME TAG
  !insertmacro MUI_LANGUAGE "${NSIS_NAME}"
!macroend
!insertmacro MUI_LANGUAGE "English"
!insertmacro KESTRUNE_LANGUAGES ADD_LANGUAGE

; The installer's own texts in each language. The Start-menu shortcut and the entry among the
; installed programs carry the product's name; the shortcut's tip says what Kestrune does (the
; desktop entry's comment, DESKTOP_COMMENT in the program's text tables).
LangString SHORTCUT_NAME ${LANG_ENGLISH} "Kestrune"
LangString SHORTCUT_TIP ${LANG_ENGLISH} "Record a spoken message and send it by e-mail"
LangString UNINSTALL_NAME ${LANG_ENGLISH} "Kestrune"
LangString SHORTCUT_NAME ${LANG_GERMAN} "Kestrune"
LangString SHORTCUT_TIP ${LANG_GERMAN} "Eine gesprochene Nachricht aufnehmen und per E-Mail senden"
LangString UNINSTALL_NAME ${LANG_GERMAN} "Kestrune"
LangString SHORTCUT_NAME ${LANG_FRENCH} "Kestrune"
LangString SHORTCUT_TIP ${LANG_FRENCH} "Enregistrer un message parlé et l’envoyer par e-mail"
LangString UNINSTALL_NAME ${LANG_FRENCH} "Kestrune"
LangString SHORTCUT_NAME ${LANG_SPANISH} "Kestrune"
LangString SHORTCUT_TIP ${LANG_SPANISH} "Grabar un mensaje hablado y enviarlo por correo electrónico"
LangString UNINSTALL_NAME ${LANG_SPANISH} "Kestrune"
LangString SHORTCUT_NAME ${LANG_ITALIAN} "Kestrune"
LangString SHORTCUT_TIP ${LANG_ITALIAN} "Registra un messaggio parlato e invialo per e-mail"
LangString UNINSTALL_NAME ${LANG_ITALIAN} "Kestrune"
LangString SHORTCUT_NAME ${LANG_PORTUGUESEBR} "Kestrune"
LangString SHORTCUT_TIP ${LANG_PORTUGUESEBR} "Gravar uma mensagem falada e enviá-la por email"
LangString UNINSTALL_NAME ${LANG_PORTUGUESEBR} "Kestrune"
LangString SHORTCUT_NAME ${LANG_DUTCH} "Kestrune"
LangString SHORTCUT_TIP ${LANG_DUTCH} "Een gesproken bericht opnemen en per e-mail verzenden"
LangString UNINSTALL_NAME ${LANG_DUTCH} "Kestrune"
LangString SHORTCUT_NAME ${LANG_POLISH} "Kestrune"
LangString SHORTCUT_TIP ${LANG_POLISH} "Nagraj wiadomość głosową i wyślij ją e-mailem"
LangString UNINSTALL_NAME ${LANG_POLISH} "Kestrune"
LangString SHORTCUT_NAME ${LANG_RUSSIAN} "Kestrune"
LangString SHORTCUT_TIP ${LANG_RUSSIAN} "Записать голосовое сообщение и отправить его по электронной почте"
LangString UNINSTALL_NAME ${LANG_RUSSIAN} "Kestrune"
LangString SHORTCUT_NAME ${LANG_JAPANESE} "Kestrune"
LangString SHORTCUT_TIP ${LANG_JAPANESE} "音声メッセージを録音してメールで送信します"
LangString UNINSTALL_NAME ${LANG_JAPANESE} "Kestrune"
LangString SHORTCUT_NAME ${LANG_SIMPCHINESE} "Kestrune"
LangString SHORTCUT_TIP ${LANG_SIMPCHINESE} "录制语音消息并通过电子邮件发送"
LangString UNINSTALL_NAME ${LANG_SIMPCHINESE} "Kestrune"

; The version resource, English first, then each language with its own description.
!macro VERSION_KEYS LANG DESCRIPTION
  VIAddVersionKey /LANG=${LANG} "ProductName" "${PRODUCT}"
  VIAddVersionKey /LANG=${LANG} "ProductVersion" "${VERSION}"
  VIAddVersionKey /LANG=${LANG} "FileVersion" "${VERSION}"
  VIAddVersionKey /LANG=${LANG} "CompanyName" "${PUBLISHER}"
  VIAddVersionKey /LANG=${LANG} "FileDescription" "${DESCRIPTION}"
  ; The copyright line of LICENSE.
  VIAddVersionKey /LANG=${LANG} "LegalCopyright" "Copyright (c) 2026 The Kestrune developers"
!macroend
VIProductVersion "${VERSION_QUAD}"
VIFileVersion "${VERSION_QUAD}"
!insertmacro VERSION_KEYS ${LANG_ENGLISH} "${PRODUCT} ${VERSION} Setup"
!insertmacro VERSION_KEYS ${LANG_GERMAN} "${PRODUCT} ${VERSION} Setup"
!insertmacro VERSION_KEYS ${LANG_FRENCH} "Installation de ${PRODUCT} ${VERSION}"
!insertmacro VERSION_KEYS ${LANG_SPANISH} "Instalación de ${PRODUCT} ${VERSION}"
!insertmacro VERSION_KEYS ${LANG_ITALIAN} "Installazione di ${PRODUCT} ${VERSION}"
!insertmacro VERSION_KEYS ${LANG_PORTUGUESEBR} "Instalação do ${PRODUCT} ${VERSION}"
!insertmacro VERSION_KEYS ${LANG_DUTCH} "Installatie van ${PRODUCT} ${VERSION}"
!insertmacro VERSION_KEYS ${LANG_POLISH} "Instalator programu ${PRODUCT} ${VERSION}"
!insertmacro VERSION_KEYS ${LANG_RUSSIAN} "Установка ${PRODUCT} ${VERSION}"
!insertmacro VERSION_KEYS ${LANG_JAPANESE} "${PRODUCT} ${VERSION} セットアップ"
!insertmacro VERSION_KEYS ${LANG_SIMPCHINESE} "${PRODUCT} ${VERSION} 安装程序"

!macro INSTALL_HELP_PAGE NSIS_NAME TAG
  SetOutPath "$INSTDIR\help\${TAG}"
  File "${STAGE}/help/${TAG}/help.htm"
!macroend
!macro UNINSTALL_HELP_PAGE NSIS_NAME TAG
  Delete "$INSTDIR\help\${TAG}\help.htm"
  RMDir "$INSTDIR\help\${TAG}"
!macroend

Section "Kestrune"
  SetShellVarContext current
  SetOutPath "$INSTDIR"
  File "${STAGE}/Kestrune.exe"
  File "${STAGE}/LICENSE.txt"
  SetOutPath "$INSTDIR\help"
  File "${STAGE}/help/help.htm"
  File "${STAGE}/help/help.css"
  !insertmacro KESTRUNE_LANGUAGES INSTALL_HELP_PAGE
  SetOutPath "$INSTDIR"
  WriteUninstaller "$INSTDIR\Uninstall.exe"

  CreateShortcut "$SMPROGRAMS\$(SHORTCUT_NAME).lnk" "$INSTDIR\Kestrune.exe" "" "" 0 SW_SHOWNORMAL \
    "" "$(SHORTCUT_TIP)"

  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayName" "$(UNINSTALL_NAME)"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "Publisher" "${PUBLISHER}"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\Kestrune.exe,0"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\Uninstall.exe"'
  WriteRegStr HKCU "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\Uninstall.exe" /S'
  WriteRegStr HKCU "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "URLInfoAbout" "https://kestrune.net"
  ; The shortcut's name is the installer language's; the uninstaller may speak another.
  WriteRegStr HKCU "${UNINSTALL_KEY}" "StartMenuShortcut" "$SMPROGRAMS\$(SHORTCUT_NAME).lnk"
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoRepair" 1
  ; In KB, as the list of installed programs shows it.
  ${GetSize} "$INSTDIR" "/S=0K" $0 $1 $2
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "EstimatedSize" $0
SectionEnd

Section "Uninstall"
  SetShellVarContext current
  ; The shortcut the installer made, when the value names one directly in the Start menu's
  ; programs folder (anything else there is not ours to delete).
  ReadRegStr $0 HKCU "${UNINSTALL_KEY}" "StartMenuShortcut"
  ${If} $0 == ""
    ; Installed by 1.02, which kept no such value.
    StrCpy $0 "$SMPROGRAMS\$(SHORTCUT_NAME).lnk"
  ${EndIf}
  ${GetParent} "$0" $1
  ${GetFileExt} "$0" $2
  ${If} $1 == "$SMPROGRAMS"
  ${AndIf} $2 == "lnk"
    Delete "$0"
  ${EndIf}
  Delete "$INSTDIR\help\help.htm"
  Delete "$INSTDIR\help\help.css"
  !insertmacro KESTRUNE_LANGUAGES UNINSTALL_HELP_PAGE
  RMDir "$INSTDIR\help"
  Delete "$INSTDIR\Kestrune.exe"
  Delete "$INSTDIR\LICENSE.txt"
  Delete "$INSTDIR\Uninstall.exe"
  ; Without /r: files the user put there stay, and so does the folder then.
  RMDir "$INSTDIR"
  DeleteRegKey HKCU "${UNINSTALL_KEY}"
SectionEnd
