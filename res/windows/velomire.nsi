; The installer of Velomire for 64-bit Windows, made by scripts/build-windows-desktop.sh with
;   makensis -DVERSION=... -DFOLDER=... -DOUTFILE=... -DICON=... velomire.nsi
; where FOLDER is the portable folder and files.nsh / unfiles.nsh (beside OUTFILE) list its files
; to install and to remove. Silent: Velomire-<version>-setup.exe /S [/D=C:\Folder]
Unicode true
Target amd64-unicode
SetCompressor /SOLID lzma
RequestExecutionLevel admin

!include "MUI2.nsh"
!include "x64.nsh"

!define KEY_UNINSTALL "Software\Microsoft\Windows\CurrentVersion\Uninstall\Velomire"
!define PROGID "Velomire.Program"

Name "Velomire ${VERSION}"
OutFile "${OUTFILE}"
InstallDir "$PROGRAMFILES64\Velomire"
InstallDirRegKey HKLM "${KEY_UNINSTALL}" "InstallLocation"
!define MUI_ICON "${ICON}"
!define MUI_UNICON "${ICON}"

!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!define MUI_FINISHPAGE_RUN "$INSTDIR\velomire.exe"
!insertmacro MUI_PAGE_FINISH
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "English"

Function .onInit
    SetRegView 64
FunctionEnd

Function un.onInit
    SetRegView 64
FunctionEnd

Section "Velomire"
    SetShellVarContext all
    !include "${FILES}"
    WriteUninstaller "$INSTDIR\Uninstall.exe"
    CreateShortCut "$SMPROGRAMS\Velomire.lnk" "$INSTDIR\velomire.exe"

    ; Program files (.vmp) open in Velomire and show its document icon.
    WriteRegStr HKLM "Software\Classes\.vmp" "" "${PROGID}"
    WriteRegStr HKLM "Software\Classes\${PROGID}" "" "Velomire program"
    WriteRegStr HKLM "Software\Classes\${PROGID}\DefaultIcon" "" "$INSTDIR\velomire.exe,1"
    WriteRegStr HKLM "Software\Classes\${PROGID}\shell\open\command" "" '"$INSTDIR\velomire.exe" "%1"'

    WriteRegStr HKLM "${KEY_UNINSTALL}" "DisplayName" "Velomire"
    WriteRegStr HKLM "${KEY_UNINSTALL}" "DisplayVersion" "${VERSION}"
    WriteRegStr HKLM "${KEY_UNINSTALL}" "Publisher" "Velomire"
    WriteRegStr HKLM "${KEY_UNINSTALL}" "DisplayIcon" "$INSTDIR\velomire.exe"
    WriteRegStr HKLM "${KEY_UNINSTALL}" "InstallLocation" "$INSTDIR"
    WriteRegStr HKLM "${KEY_UNINSTALL}" "UninstallString" '"$INSTDIR\Uninstall.exe"'
    WriteRegStr HKLM "${KEY_UNINSTALL}" "QuietUninstallString" '"$INSTDIR\Uninstall.exe" /S'
    WriteRegDWORD HKLM "${KEY_UNINSTALL}" "NoModify" 1
    WriteRegDWORD HKLM "${KEY_UNINSTALL}" "NoRepair" 1
    ; SHCNE_ASSOCCHANGED: Explorer shows the new icon of .vmp files at once.
    System::Call 'shell32::SHChangeNotify(i 0x08000000, i 0, p 0, p 0)'
SectionEnd

Section "Uninstall"
    SetShellVarContext all
    ; Exactly the files installed, then their folders if empty: a folder chosen with /D that held
    ; other files keeps them. The settings in %APPDATA%\Velomire are the user's and stay.
    !include "${UNFILES}"
    Delete "$INSTDIR\Uninstall.exe"
    RMDir "$INSTDIR"
    Delete "$SMPROGRAMS\Velomire.lnk"
    ReadRegStr $0 HKLM "Software\Classes\.vmp" ""
    StrCmp $0 "${PROGID}" 0 +2
        DeleteRegKey HKLM "Software\Classes\.vmp"
    DeleteRegKey HKLM "Software\Classes\${PROGID}"
    DeleteRegKey HKLM "${KEY_UNINSTALL}"
    System::Call 'shell32::SHChangeNotify(i 0x08000000, i 0, p 0, p 0)'
SectionEnd
