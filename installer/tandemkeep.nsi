; Setup program of Tandemkeep: installs the program and its help page, writes the
; machine-wide settings the program starts from, and makes an uninstaller.
;
; Built by installer/CMakeLists.txt with these definitions:
;   TARGET    x86-unicode (release build) or amd64-unicode (64-bit build)
;   PROGRAM   the built tandemkeep.exe
;   HELPFILE  the help page to install as help\tandem_help.html
;   ICON      the setup program's icon
;   OUTFILE   where the setup program goes
;   VERSION   the program's version, "1.21"
;
; Command line (besides NSIS's own /S and /D=folder):
;   /NOSTARTMENU     no Start-menu entries
;   /NOLOGON         do not start Tandemkeep at logon
; Uninstaller: /KEEPSETTINGS keeps the settings key and the logs (with /S).

Unicode true
Target ${TARGET}

!include "MUI2.nsh"
!include "LogicLib.nsh"
!include "FileFunc.nsh"
!include "Sections.nsh"

!define PRODUCT "Tandemkeep"
!define PRODUCT_KEY "SOFTWARE\Tandemkeep"
!define RUN_KEY "SOFTWARE\Microsoft\Windows\CurrentVersion\Run"
!define UNINSTALL_KEY "SOFTWARE\Microsoft\Windows\CurrentVersion\Uninstall\Tandemkeep"
; The program keeps paths in 260-byte buffers and appends "\backuplog.txt",
; "\errorlog.txt" or "\help\tandem_help.html" to the installation folder.
!define MAX_INSTDIR 200

Name "${PRODUCT}"
Caption "${PRODUCT} ${VERSION} Setup"
OutFile "${OUTFILE}"
BrandingText "${PRODUCT} ${VERSION}"
SetCompressor /SOLID lzma
; The settings live under HKEY_LOCAL_MACHINE, and the program goes below
; Program Files: both need an administrator.
RequestExecutionLevel admin
ManifestSupportedOS all
!if ${TARGET} == "amd64-unicode"
InstallDir "$PROGRAMFILES64\${PRODUCT}"
!else
InstallDir "$PROGRAMFILES\${PRODUCT}"
!endif
; A second installation goes where the first one is.
InstallDirRegKey HKLM "${PRODUCT_KEY}" "installdir"
ShowInstDetails show
ShowUninstDetails show

VIProductVersion "${VERSION}.0.0"
VIAddVersionKey "ProductName" "${PRODUCT}"
VIAddVersionKey "FileDescription" "${PRODUCT} Setup"
VIAddVersionKey "FileVersion" "${VERSION}"
VIAddVersionKey "ProductVersion" "${VERSION}"
VIAddVersionKey "CompanyName" "Tandemkeep Software"
VIAddVersionKey "LegalCopyright" "Tandemkeep Software"

!define MUI_ICON "${ICON}"
!define MUI_UNICON "${ICON}"
!define MUI_ABORTWARNING
!define MUI_COMPONENTSPAGE_SMALLDESC
!define MUI_WELCOMEPAGE_TEXT "This will install ${PRODUCT} ${VERSION}, which copies your files to other folders and to FTP servers as soon as they change.$\r$\n$\r$\nClick Next to continue."
!define MUI_FINISHPAGE_TEXT "${PRODUCT} is installed. Start it from the Start menu; the first time, a short tutorial shows how to add a folder and say where its files should go."
!define MUI_FINISHPAGE_SHOWREADME "$INSTDIR\help\tandem_help.html"
!define MUI_FINISHPAGE_SHOWREADME_TEXT "Show the help page"
!define MUI_FINISHPAGE_SHOWREADME_NOTCHECKED

!insertmacro MUI_PAGE_WELCOME
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_COMPONENTS
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_PAGE_FINISH
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "English"

Var Problem

; ---------------------------------------------------------------------------
; Shared helpers

; Sets $Problem to a message when Tandemkeep is running (it holds the named
; mutex "Tandemkeep" for its whole life), else to "".
!macro FIND_RUNNING_PROGRAM un
Function ${un}FindRunningProgram
  Push $0
  StrCpy $Problem ""
  ; SYNCHRONIZE access is enough to learn that the mutex exists.
  System::Call 'kernel32::OpenMutexW(i 0x00100000, i 0, w "Tandemkeep") p .r0'
  ${If} $0 P<> 0
    System::Call 'kernel32::CloseHandle(p r0)'
    StrCpy $Problem "${PRODUCT} is running. Exit it first: right-click its icon in the notification area and choose Exit."
  ${EndIf}
  Pop $0
FunctionEnd
!macroend
!insertmacro FIND_RUNNING_PROGRAM ""
!insertmacro FIND_RUNNING_PROGRAM "un."

; Waits until Tandemkeep has ended or the user gives up; in silent mode it
; gives up at once, with exit code 2.
!macro WAIT_FOR_PROGRAM un
Function ${un}WaitForProgram
  ${Do}
    Call ${un}FindRunningProgram
    ${If} $Problem == ""
      Return
    ${EndIf}
    MessageBox MB_RETRYCANCEL|MB_ICONEXCLAMATION "$Problem" /SD IDCANCEL IDRETRY +2
    ${Break}
  ${Loop}
  SetErrorLevel 2
  Quit
FunctionEnd
!macroend
!insertmacro WAIT_FOR_PROGRAM ""
!insertmacro WAIT_FOR_PROGRAM "un."

; The same registry view as the program of this setup: the 64-bit program
; reads the 64-bit view, the 32-bit one the 32-bit view.
!macro USE_PROGRAM_REGISTRY_VIEW
!if ${TARGET} == "amd64-unicode"
  SetRegView 64
!endif
!macroend

; ---------------------------------------------------------------------------
; Installation folder

; Sets $Problem when the folder in $INSTDIR cannot serve the program: too
; long for its path buffers, or not writable in the system's ANSI code page
; (the program is an ANSI program and could not name its own files).
Function CheckInstallFolder
  Push $0
  Push $1
  StrCpy $Problem ""
  StrLen $0 "$INSTDIR"
  ${If} $0 > ${MAX_INSTDIR}
    StrCpy $Problem "The installation folder is too long: choose one of at most ${MAX_INSTDIR} characters."
  ${Else}
    ; WC_NO_BEST_FIT_CHARS: a character that would be replaced sets $1.
    StrCpy $1 0
    System::Call 'kernel32::WideCharToMultiByte(i 0, i 0x400, w "$INSTDIR", i -1, p 0, i 0, p 0, *i 0 r1) i .r0'
    ${If} $0 == 0
    ${OrIf} $1 <> 0
      StrCpy $Problem "The installation folder's name has characters that ${PRODUCT} cannot use on this system: choose a folder with a plainer name."
    ${EndIf}
  ${EndIf}
  Pop $1
  Pop $0
FunctionEnd

Function .onVerifyInstDir
  Call CheckInstallFolder
  ${If} $Problem != ""
    Abort
  ${EndIf}
FunctionEnd

; Leaves on the stack the folder without trailing backslashes.
Function TrimTrailingBackslashes
  Exch $0
  Push $1
  ${Do}
    StrCpy $1 $0 1 -1
    ${If} $1 != "\"
      ${Break}
    ${EndIf}
    StrCpy $0 $0 -1
  ${Loop}
  Pop $1
  Exch $0
FunctionEnd

; Pushes 1 when the product key has a value of the given name (of any type),
; else 0. Call with the name on the stack.
Function ProductValueExists
  Exch $0
  Push $1
  Push $2
  Push $3
  StrCpy $1 0
  StrCpy $3 0
  ${Do}
    ClearErrors
    EnumRegValue $2 HKLM "${PRODUCT_KEY}" $1
    ${If} ${Errors}
    ${OrIf} $2 == ""
      ${Break}
    ${EndIf}
    ; StrCmp ignores case, as the registry does for value names.
    ${If} $2 == $0
      StrCpy $3 1
      ${Break}
    ${EndIf}
    IntOp $1 $1 + 1
  ${Loop}
  StrCpy $0 $3
  Pop $3
  Pop $2
  Pop $1
  Exch $0
FunctionEnd

; Writes a DWORD setting unless the user's installation already has one.
!macro DEFAULT_DWORD NAME VALUE
  Push "${NAME}"
  Call ProductValueExists
  Pop $0
  ${If} $0 == 0
    WriteRegDWORD HKLM "${PRODUCT_KEY}" "${NAME}" ${VALUE}
  ${EndIf}
!macroend

; Writes a one-byte switch (REG_BINARY 01) unless the user's installation
; already has the value, whatever it holds.
!macro DEFAULT_SWITCH NAME
  Push "${NAME}"
  Call ProductValueExists
  Pop $0
  ${If} $0 == 0
    WriteRegBin HKLM "${PRODUCT_KEY}" "${NAME}" 01
  ${EndIf}
!macroend

; ---------------------------------------------------------------------------
; Installation

Section "${PRODUCT}" SEC_PROGRAM
  SectionIn RO
  ; Silent installs skip the folder page; check the folder here too.
  Call CheckInstallFolder
  ${If} $Problem != ""
    MessageBox MB_OK|MB_ICONSTOP "$Problem" /SD IDOK
    SetErrorLevel 2
    Quit
  ${EndIf}
  ; A running copy keeps its .exe locked.
  Call WaitForProgram

  SetOutPath "$INSTDIR"
  File "/oname=tandemkeep.exe" "${PROGRAM}"
  SetOutPath "$INSTDIR\help"
  File "/oname=tandem_help.html" "${HELPFILE}"
  SetOutPath "$INSTDIR"

  Push "$INSTDIR"
  Call TrimTrailingBackslashes
  Pop $1
  WriteRegStr HKLM "${PRODUCT_KEY}" "installdir" "$1"
  ; Its presence makes the next start show the tutorial.
  WriteRegDWORD HKLM "${PRODUCT_KEY}" "firsttime" 1
  !insertmacro DEFAULT_DWORD "logging" 1
  !insertmacro DEFAULT_DWORD "showerrors" 1
  !insertmacro DEFAULT_DWORD "tip" 0
  !insertmacro DEFAULT_DWORD "splash" 1
  ; Retrying failed copies, and the catch-up at start of what changed meanwhile.
  !insertmacro DEFAULT_SWITCH "retryfailed"
  !insertmacro DEFAULT_SWITCH "catchup"

  WriteUninstaller "$INSTDIR\uninstall.exe"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "${PRODUCT}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "Publisher" "Tandemkeep Software"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\tandemkeep.exe"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "InstallLocation" "$1"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
  WriteRegStr HKLM "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1
SectionEnd

Section "Start menu entries" SEC_STARTMENU
  ; For every user, as the settings are the machine's.
  SetShellVarContext all
  CreateDirectory "$SMPROGRAMS\${PRODUCT}"
  CreateShortcut "$SMPROGRAMS\${PRODUCT}\${PRODUCT}.lnk" "$INSTDIR\tandemkeep.exe"
  CreateShortcut "$SMPROGRAMS\${PRODUCT}\${PRODUCT} Help.lnk" "$INSTDIR\help\tandem_help.html"
  CreateShortcut "$SMPROGRAMS\${PRODUCT}\Uninstall ${PRODUCT}.lnk" "$INSTDIR\uninstall.exe"
SectionEnd

; HKEY_LOCAL_MACHINE's Run key, not the current user's: the setup runs as an
; administrator, whose HKEY_CURRENT_USER need not be the account that will use
; the program, and the program's settings and monitor belong to the machine.
Section "Start ${PRODUCT} when Windows starts" SEC_LOGON
  WriteRegStr HKLM "${RUN_KEY}" "${PRODUCT}" '"$INSTDIR\tandemkeep.exe" HIDE'
SectionEnd

; A new installation without the logon entry takes away an earlier one.
Section "-Logon entry choice"
  ${IfNot} ${SectionIsSelected} ${SEC_LOGON}
    DeleteRegValue HKLM "${RUN_KEY}" "${PRODUCT}"
  ${EndIf}
SectionEnd

; After the sections, whose numbers it needs.
Function .onInit
  !insertmacro USE_PROGRAM_REGISTRY_VIEW
  ${GetParameters} $R0
  ClearErrors
  ${GetOptions} $R0 "/NOSTARTMENU" $R1
  ${IfNot} ${Errors}
    !insertmacro UnselectSection ${SEC_STARTMENU}
  ${EndIf}
  ClearErrors
  ${GetOptions} $R0 "/NOLOGON" $R1
  ${IfNot} ${Errors}
    !insertmacro UnselectSection ${SEC_LOGON}
  ${EndIf}
FunctionEnd

!insertmacro MUI_FUNCTION_DESCRIPTION_BEGIN
  !insertmacro MUI_DESCRIPTION_TEXT ${SEC_PROGRAM} "The program and its help page."
  !insertmacro MUI_DESCRIPTION_TEXT ${SEC_STARTMENU} "A ${PRODUCT} folder in the Start menu for every user."
  !insertmacro MUI_DESCRIPTION_TEXT ${SEC_LOGON} "Start ${PRODUCT} with its window hidden when anyone logs on, so that changed files are always copied. Its icon stays in the notification area."
!insertmacro MUI_FUNCTION_DESCRIPTION_END

; ---------------------------------------------------------------------------
; Uninstallation

Function un.onInit
  !insertmacro USE_PROGRAM_REGISTRY_VIEW
FunctionEnd

Section "Uninstall"
  Call un.WaitForProgram

  Delete "$INSTDIR\tandemkeep.exe"
  Delete "$INSTDIR\help\tandem_help.html"
  RMDir "$INSTDIR\help"
  ; This runs from a copy in the temporary folder; the uninstall.exe that
  ; started it may not have ended yet, and a running program cannot be
  ; deleted. Up to five seconds for it.
  StrCpy $R2 0
  delete_uninstaller:
  Delete "$INSTDIR\uninstall.exe"
  IfFileExists "$INSTDIR\uninstall.exe" 0 uninstaller_deleted
  IntOp $R2 $R2 + 1
  IntCmp $R2 50 uninstaller_deleted
  Sleep 100
  Goto delete_uninstaller
  uninstaller_deleted:

  SetShellVarContext all
  Delete "$SMPROGRAMS\${PRODUCT}\${PRODUCT}.lnk"
  Delete "$SMPROGRAMS\${PRODUCT}\${PRODUCT} Help.lnk"
  Delete "$SMPROGRAMS\${PRODUCT}\Uninstall ${PRODUCT}.lnk"
  RMDir "$SMPROGRAMS\${PRODUCT}"

  DeleteRegValue HKLM "${RUN_KEY}" "${PRODUCT}"
  DeleteRegKey HKLM "${UNINSTALL_KEY}"

  ${GetParameters} $R0
  ClearErrors
  ${GetOptions} $R0 "/KEEPSETTINGS" $R1
  ${IfNot} ${Errors}
    Goto keep
  ${EndIf}
  MessageBox MB_YESNO|MB_ICONQUESTION "Remove ${PRODUCT}'s settings as well: the list of monitored files and folders, their destinations, the restore records and the logs?$\r$\n$\r$\nChoose No to keep them for a later installation." /SD IDYES IDNO keep
  DeleteRegKey HKLM "${PRODUCT_KEY}"
  Delete "$INSTDIR\backuplog.txt"
  Delete "$INSTDIR\errorlog.txt"
  ; The copies waiting to be retried and the versions last stored, with what a
  ; crash during their compaction may have left.
  Delete "$INSTDIR\pendingcopies.dat"
  Delete "$INSTDIR\pendingcopies.dat.tmp"
  Delete "$INSTDIR\storedstate.dat"
  Delete "$INSTDIR\storedstate.dat.tmp"
keep:
  ; Only when empty: it may hold the logs or the user's own files.
  RMDir "$INSTDIR"
SectionEnd
