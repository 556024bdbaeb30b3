; The Windows installer of 3D Marivelle, made on Linux by makensis:
;   makensis -DVERSION=4.0 -DPROGRAM=<marivelle.scr> -DHELP=<Help.html>
;            -DICON=<marivelle.ico> -DOUTFILE=<Setup.exe> marivelle.nsi
; It puts the saver in the system folder and its help page in a folder of
; its own among the system's help (where the saver looks for it), can make
; it the current screen saver, and registers an uninstaller with Windows.
; Silent install and uninstall: /S.

Unicode true
; The saver is a 64-bit program, and so is the installer: a 64-bit process
; sees the real system folder and the 64-bit registry, where a 32-bit one
; would be sent to SysWOW64 and WOW6432Node without asking.
Target amd64-unicode
SetCompressor /SOLID lzma
RequestExecutionLevel admin

!ifndef VERSION | PROGRAM | HELP | ICON | OUTFILE
  !error "Pass -DVERSION, -DPROGRAM, -DHELP, -DICON and -DOUTFILE"
!endif

!define NAME "3D Marivelle"
!define PUBLISHER "Tarnwick Software"
!define SAVER "marivelle.scr"
!define UNINSTALLER "Uninstall.exe"
; Found by the saver from its own folder: <system>\..\Help\3D Marivelle.
!define HELP_FOLDER "$WINDIR\Help\${NAME}"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Marivelle"
!define DESKTOP_KEY "Control Panel\Desktop"

!include "MUI2.nsh"
!include "LogicLib.nsh"
!include "FileFunc.nsh"

Name "${NAME}"
OutFile "${OUTFILE}"
InstallDir "$PROGRAMFILES64\${NAME}"
BrandingText "${NAME} ${VERSION}"
ShowInstDetails show
ShowUninstDetails show

VIProductVersion "${VERSION}.0.0"
VIAddVersionKey "ProductName" "${NAME}"
VIAddVersionKey "CompanyName" "${PUBLISHER}"
VIAddVersionKey "FileDescription" "${NAME} Setup"
VIAddVersionKey "FileVersion" "${VERSION}"
VIAddVersionKey "ProductVersion" "${VERSION}"
VIAddVersionKey "LegalCopyright" "Copyright 2026 ${PUBLISHER}"

!define MUI_ABORTWARNING
!define MUI_ICON "${ICON}"
!define MUI_UNICON "${ICON}"
!define MUI_WELCOMEPAGE_TEXT "This will install ${NAME} ${VERSION}, a 3D aquarium screen saver, on this computer.$\r$\n$\r$\nAfterwards it is listed among the screen savers in the Windows screen saver settings."
!insertmacro MUI_PAGE_WELCOME
!insertmacro MUI_PAGE_COMPONENTS
!insertmacro MUI_PAGE_INSTFILES
!define MUI_FINISHPAGE_TEXT "${NAME} is installed.$\r$\n$\r$\nChoose it, preview it and change its settings in the Windows screen saver settings."
!insertmacro MUI_PAGE_FINISH
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "English"

Section "${NAME}" SecSaver
  SectionIn RO
  SetOutPath "$SYSDIR"
  File "/oname=${SAVER}" "${PROGRAM}"
  SetOutPath "${HELP_FOLDER}"
  File "/oname=Help.html" "${HELP}"

  SetOutPath "$INSTDIR"
  WriteUninstaller "$INSTDIR\${UNINSTALLER}"

  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "${NAME}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "Publisher" "${PUBLISHER}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayIcon" "$SYSDIR\${SAVER},0"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\${UNINSTALLER}"'
  WriteRegStr HKLM "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\${UNINSTALLER}" /S'
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1
  ; Kilobytes, as Windows reads it.
  SectionGetSize ${SecSaver} $0
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "EstimatedSize" $0
SectionEnd

Section "Set as the current screen saver" SecCurrent
  ; The settings Windows itself writes when a saver is chosen, then the
  ; same switch made through the system so that it takes effect at once.
  WriteRegStr HKCU "${DESKTOP_KEY}" "SCRNSAVE.EXE" "$SYSDIR\${SAVER}"
  WriteRegStr HKCU "${DESKTOP_KEY}" "ScreenSaveActive" "1"
  ; SPI_SETSCREENSAVEACTIVE, on, SPIF_UPDATEINIFILE | SPIF_SENDCHANGE
  System::Call 'user32::SystemParametersInfoW(i 17, i 1, p 0, i 3)'
SectionEnd

!insertmacro MUI_FUNCTION_DESCRIPTION_BEGIN
  !insertmacro MUI_DESCRIPTION_TEXT ${SecSaver} "The screen saver, in the Windows system folder, and its help page."
  !insertmacro MUI_DESCRIPTION_TEXT ${SecCurrent} "Make ${NAME} the screen saver Windows starts when the computer is idle."
!insertmacro MUI_FUNCTION_DESCRIPTION_END

Section "Uninstall"
  ; The current-saver choice is the person's: it goes only while it still
  ; names this saver, by its long or its short path.
  ReadRegStr $0 HKCU "${DESKTOP_KEY}" "SCRNSAVE.EXE"
  GetFullPathName /SHORT $1 "$SYSDIR\${SAVER}"
  ${If} $0 != ""
    ${If} $0 == "$SYSDIR\${SAVER}"
    ${OrIf} $0 == $1
      DeleteRegValue HKCU "${DESKTOP_KEY}" "SCRNSAVE.EXE"
    ${EndIf}
  ${EndIf}

  Delete "$SYSDIR\${SAVER}"
  Delete "${HELP_FOLDER}\Help.html"
  RMDir "${HELP_FOLDER}"
  Delete "$INSTDIR\${UNINSTALLER}"
  RMDir "$INSTDIR"
  DeleteRegKey HKLM "${UNINSTALL_KEY}"
SectionEnd
