; The setup program: installs Qsoferry for the current user, without administrator rights.
;   makensis -DVERSION=1.1.0 -DSTAGE=<folder with x64\, x86\, qsoferry-preview.exe, README.txt>
;            -DOUTFILE=<setup.exe> qsoferry.nsi
; A 32-bit setup, so that it runs on every Windows; it installs the 64-bit program on 64-bit Windows.
; /S installs silently; the uninstaller's /S removes silently. Running it again upgrades in place.
Unicode true
SetCompressor /SOLID lzma
RequestExecutionLevel user

!include "MUI2.nsh"
!include "LogicLib.nsh"
!include "x64.nsh"
!include "WinMessages.nsh"

!define APP "Qsoferry"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Qsoferry"
!define RUN_KEY "Software\Microsoft\Windows\CurrentVersion\Run"
!define FRAME_CLASS "QsoferryFrame"

Name "${APP} ${VERSION}"
OutFile "${OUTFILE}"
InstallDir "$LOCALAPPDATA\Programs\${APP}"
BrandingText "${APP} ${VERSION}"
VIProductVersion "${VERSION}.0"
VIAddVersionKey /LANG=1033 "ProductName" "${APP}"
VIAddVersionKey /LANG=1033 "FileDescription" "${APP} setup"
VIAddVersionKey /LANG=1033 "FileVersion" "${VERSION}"
VIAddVersionKey /LANG=1033 "ProductVersion" "${VERSION}"
VIAddVersionKey /LANG=1033 "LegalCopyright" "Copyright (C) 2026"

!define MUI_ICON "${NSISDIR}\Contrib\Graphics\Icons\modern-install.ico"
!define MUI_UNICON "${NSISDIR}\Contrib\Graphics\Icons\modern-uninstall.ico"
!define MUI_COMPONENTSPAGE_NODESC
!define MUI_FINISHPAGE_RUN "$INSTDIR\qsoferry.exe"
!define MUI_FINISHPAGE_RUN_TEXT "Start ${APP} now"
!insertmacro MUI_PAGE_COMPONENTS
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_PAGE_FINISH
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "English"

; A running Qsoferry holds its .exe: it is asked to close (it resumes where it stopped when started
; again) and given a few seconds to go.
!macro CloseRunningBridge
    StrCpy $1 0
    ${Do}
        FindWindow $0 "${FRAME_CLASS}" ""
        ${If} $0 == 0
        ${OrIf} $1 >= 50
            ${Break}
        ${EndIf}
        SendMessage $0 ${WM_CLOSE} 0 0 /TIMEOUT=2000
        Sleep 100
        IntOp $1 $1 + 1
    ${Loop}
!macroend

Function .onInit
    !insertmacro CloseRunningBridge
FunctionEnd

Function un.onInit
    !insertmacro CloseRunningBridge
FunctionEnd

Section "${APP}" SectionProgram
    SectionIn RO
    SetOutPath "$INSTDIR"
    ${If} ${RunningX64}
        File "/oname=qsoferry.exe" "${STAGE}\x64\qsoferry.exe"
    ${Else}
        File "/oname=qsoferry.exe" "${STAGE}\x86\qsoferry.exe"
    ${EndIf}
    File "${STAGE}\qsoferry-preview.exe"
    File "${STAGE}\README.txt"
    WriteUninstaller "$INSTDIR\uninstall.exe"
    CreateShortcut "$SMPROGRAMS\${APP}.lnk" "$INSTDIR\qsoferry.exe"

    WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayName" "${APP}"
    WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
    WriteRegStr HKCU "${UNINSTALL_KEY}" "Publisher" "${APP}"
    WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\qsoferry.exe"
    WriteRegStr HKCU "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
    WriteRegStr HKCU "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
    WriteRegStr HKCU "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
    WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoModify" 1
    WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoRepair" 1
    ; An upgrade with the option unticked no longer starts it with Windows.
    DeleteRegValue HKCU "${RUN_KEY}" "${APP}"
SectionEnd

; Started with Windows it starts quietly, in the notification area; an upgrade rewrites an entry of
; an earlier version, which had no switch.
Section "Start ${APP} when Windows starts" SectionStartup
    WriteRegStr HKCU "${RUN_KEY}" "${APP}" '"$INSTDIR\qsoferry.exe" /minimized'
SectionEnd

; Exactly what was installed; JTDX's folder, its log, the backup and Qsoferry's files beside the log
; are the operator's and stay.
Section "Uninstall"
    Delete "$INSTDIR\qsoferry.exe"
    Delete "$INSTDIR\qsoferry-preview.exe"
    Delete "$INSTDIR\README.txt"
    Delete "$INSTDIR\uninstall.exe"
    RMDir "$INSTDIR"
    Delete "$SMPROGRAMS\${APP}.lnk"
    DeleteRegValue HKCU "${RUN_KEY}" "${APP}"
    DeleteRegKey HKCU "${UNINSTALL_KEY}"
SectionEnd
