; Marglet's installer, for one user and without administrator rights:
;   makensis -DVERSION=1.0 -DFILE_VERSION=1.0.0.0 -DFILES=files.nsh
;            -DICON=marglet.ico -DOUTFILE=Setup.exe marglet.nsi
; The bar keeps its notes and settings beside itself, so it goes where the
; user may write. An upgrade or an uninstall touches the program's own files
; (files.nsh lists them) and nothing else in that folder.

Unicode true
Target amd64-unicode
SetCompressor /SOLID lzma
RequestExecutionLevel user
; A program file that cannot be written stops the install rather than
; leaving a mix of two versions.
AllowSkipFiles off

!include MUI2.nsh
!include LogicLib.nsh
!include Sections.nsh
!include WinMessages.nsh
!include "${FILES}"

!define TITLE "QKS Marglet"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Marglet"
; The program's Options dialog reads and writes the same value.
!define RUN_KEY "Software\Microsoft\Windows\CurrentVersion\Run"

Name "${TITLE}"
OutFile "${OUTFILE}"
InstallDir "$LOCALAPPDATA\Programs\Marglet"
InstallDirRegKey HKCU "${UNINSTALL_KEY}" InstallLocation

VIProductVersion ${FILE_VERSION}
VIAddVersionKey ProductName "${TITLE}"
VIAddVersionKey CompanyName "QKS"
VIAddVersionKey LegalCopyright "(C) QKS"
VIAddVersionKey FileDescription "${TITLE} Setup"
VIAddVersionKey FileVersion ${VERSION}
VIAddVersionKey ProductVersion ${VERSION}

!define MUI_ICON "${ICON}"
!define MUI_UNICON "${ICON}"
!define MUI_COMPONENTSPAGE_NODESC
!insertmacro MUI_PAGE_COMPONENTS
!insertmacro MUI_PAGE_INSTFILES
!define MUI_FINISHPAGE_RUN "$INSTDIR\marglet.exe"
!define MUI_FINISHPAGE_RUN_TEXT "Start Marglet now"
!insertmacro MUI_PAGE_FINISH
!define MUI_UNCONFIRMPAGE_TEXT_TOP "Marglet's program files will be removed from this folder. Your notes, settings and the skins you added stay in it."
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE English

Var closedBar

; The bar saves its notes when it is asked to close. Every window titled
; like it that belongs to this folder's marglet.exe (the bar, and a message
; it shows) is asked to close, as at log-off, and the process is given time
; to save and end; it is never killed. If it does not end, the user is
; asked to close it; a silent run gives up, having changed nothing.
!macro CLOSE_BAR un
Function ${un}CloseBar
  StrCpy $R0 0
  StrCpy $R5 0
  ${Do}
    System::Call 'user32::FindWindowExW(p 0, p R0, p 0, w "${TITLE}") p .R0'
    ${IfThen} $R0 = 0 ${|} ${ExitDo} ${|}
    System::Call 'user32::GetWindowThreadProcessId(p R0, *i .R1)'
    ; SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION
    System::Call 'kernel32::OpenProcess(i 0x101000, i 0, i R1) p .R2'
    StrCpy $R3 ""
    System::Call 'kernel32::QueryFullProcessImageNameW(p R2, i 0, w .R3, *i ${NSIS_MAX_STRLEN})'
    ${If} $R3 == "$INSTDIR\marglet.exe"
      System::Call 'user32::PostMessageW(p R0, i ${WM_CLOSE}, p 0, p 0)'
      ${If} $R5 = 0
        StrCpy $R5 $R2
        ${Continue}
      ${EndIf}
    ${EndIf}
    System::Call 'kernel32::CloseHandle(p R2)'
  ${Loop}
  ${IfThen} $R5 = 0 ${|} Return ${|}
  StrCpy $closedBar 1
  ${Do}
    System::Call 'kernel32::WaitForSingleObject(p R5, i 30000) i .R4'
    ${IfThen} $R4 = 0 ${|} ${ExitDo} ${|}
    ${IfNot} ${Cmd} `MessageBox MB_RETRYCANCEL|MB_ICONEXCLAMATION "Marglet is still running. Please close it (it saves your notes as it closes), then choose Retry." /SD IDCANCEL IDRETRY`
      System::Call 'kernel32::CloseHandle(p R5)'
      Abort "Marglet is still running. Nothing was changed."
    ${EndIf}
  ${Loop}
  System::Call 'kernel32::CloseHandle(p R5)'
FunctionEnd
!macroend
!insertmacro CLOSE_BAR ""
!insertmacro CLOSE_BAR "un."

; Only a value that starts this copy is ours to take away.
!macro DELETE_RUN_VALUE
  ReadRegStr $0 HKCU "${RUN_KEY}" Marglet
  ${If} $0 == '"$INSTDIR\marglet.exe"'
    DeleteRegValue HKCU "${RUN_KEY}" Marglet
  ${EndIf}
!macroend

Section "QKS Marglet" SecProgram
  SectionIn RO
  SetShellVarContext current
  Call CloseBar
  !insertmacro InstallProgramFiles
  SetOutPath "$INSTDIR"
  WriteUninstaller "$INSTDIR\Uninstall.exe"
  ; Its key, Ctrl+Alt+M, is one Windows answers from any program: it starts
  ; the bar, or brings the one that runs forward with the keyboard.
  CreateShortCut "$SMPROGRAMS\Marglet.lnk" "$INSTDIR\marglet.exe" "" "" "" SW_SHOWNORMAL \
    ALT|CONTROL|M "Three quick notes in a small bar that stays on top"
  WriteRegStr HKCU "${UNINSTALL_KEY}" DisplayName "${TITLE}"
  WriteRegStr HKCU "${UNINSTALL_KEY}" DisplayVersion "${VERSION}"
  WriteRegStr HKCU "${UNINSTALL_KEY}" Publisher "QKS"
  WriteRegStr HKCU "${UNINSTALL_KEY}" DisplayIcon "$INSTDIR\marglet.exe"
  WriteRegStr HKCU "${UNINSTALL_KEY}" InstallLocation "$INSTDIR"
  WriteRegStr HKCU "${UNINSTALL_KEY}" UninstallString '"$INSTDIR\Uninstall.exe"'
  WriteRegStr HKCU "${UNINSTALL_KEY}" QuietUninstallString '"$INSTDIR\Uninstall.exe" /S'
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" EstimatedSize ${PROGRAM_KB}
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" NoModify 1
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" NoRepair 1
SectionEnd

Section "Start Marglet when I sign in" SecRun
  WriteRegStr HKCU "${RUN_KEY}" Marglet '"$INSTDIR\marglet.exe"'
SectionEnd

Section "-Finish"
  ${IfNot} ${SectionIsSelected} ${SecRun}
    !insertmacro DELETE_RUN_VALUE
  ${EndIf}
  ; A bar closed for the upgrade comes back; the finish page offers it
  ; when someone is there to choose.
  ${If} $closedBar == 1
  ${AndIf} ${Silent}
    Exec '"$INSTDIR\marglet.exe"'
  ${EndIf}
SectionEnd

; An upgrade keeps the sign-in choice the user made, here or in Options.
Function .onInit
  ReadRegStr $0 HKCU "${UNINSTALL_KEY}" InstallLocation
  ReadRegStr $1 HKCU "${RUN_KEY}" Marglet
  ${If} $0 != ""
  ${AndIf} $1 == ""
    !insertmacro UnselectSection ${SecRun}
  ${EndIf}
FunctionEnd

Section Uninstall
  SetShellVarContext current
  Call un.CloseBar
  !insertmacro RemoveProgramFiles
  ; The running lock is the bar's own file, left beside the notes.
  Delete "$INSTDIR\.marglet.lock"
  Delete "$INSTDIR\Uninstall.exe"
  RMDir "$INSTDIR"
  Delete "$SMPROGRAMS\Marglet.lnk"
  !insertmacro DELETE_RUN_VALUE
  DeleteRegKey HKCU "${UNINSTALL_KEY}"
  ${If} ${FileExists} "$INSTDIR\*.*"
    DetailPrint "Your notes, settings and skins stay in $INSTDIR"
    MessageBox MB_OK|MB_ICONINFORMATION "Marglet is removed.$\r$\n$\r$\nYour notes, settings and skins stay in this folder:$\r$\n$INSTDIR" /SD IDOK
  ${EndIf}
SectionEnd
