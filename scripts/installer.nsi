; The Windows installer of the VantreloDelay AAX plug-in: a 64-bit NSIS installer, built on
; Linux by scripts/package.sh (makensis -WX, so every warning stops the build).
;
; It installs the bundle VantreloDelay.aaxplugin into the shared AAX plug-in folder ($INSTDIR,
; "/D=" moves it) and its uninstaller into our own folder under Program Files, and registers the
; uninstaller with the system's list of installed programs. It does not install Brenlock's
; VantreloDelay effect: the effect's own installer does that. The optional component "Reference
; delay for evaluation" (or "/EVALUATION" on the command line) installs our reference delay into
; our own folder and points the effect's registry value at it, but only when the module would
; find no effect of the maker's, and never so that it hides a value of the maker's.
;
; It succeeds entirely or says why not and changes nothing: every file it would replace or move
; is checked first (ours, and not in use), any failure ends the run with exit status 2 and a
; line on the standard error stream (and a message box when not silent), and the entry in the
; list of installed programs records exactly the files on disk with their SHA-256, so that the
; uninstaller removes those and nothing else. Exit status: 0 installed, 1 cancelled, 2 failed.
;
; The uninstaller is two programs: Uninstall.exe (installer/uninstall.cpp), which the entry
; names, runs UninstallSteps.exe (the "Uninstall" section below) in place, waits for it, and then
; removes both and their folder, so that it returns only when everything is done.
;
; Defines (-D on the makensis command line):
;   VERSION        x.y.z, the one version number of the project
;   BUNDLE_DIR     the laid-out VantreloDelay.aaxplugin folder
;   MODULE_SHA256  the SHA-256 of the bundle's library
;   EFFECT_DLL     the reference delay's VantreloDelay.dll
;   EFFECT_SHA256  its SHA-256
;   UNINSTALL_EXE  the uninstaller's first program (Uninstall.exe)
;   OUTFILE        the installer to write
;   PLUGINS_DIR    optional: the default plug-in folder (default below)

Unicode true
Target amd64-unicode
SetCompressor /SOLID lzma
RequestExecutionLevel admin
ManifestDPIAware true
; A file that cannot be written ends the installation; it is never skipped.
AllowSkipFiles off

!include LogicLib.nsh
!include FileFunc.nsh
!include WordFunc.nsh
!include Sections.nsh
!include MUI2.nsh

!macro RequireDefine NAME
  !ifndef ${NAME}
    !error "${NAME} is not defined (scripts/package.sh passes VERSION, BUNDLE_DIR, MODULE_SHA256, EFFECT_DLL, EFFECT_SHA256, UNINSTALL_EXE, OUTFILE)"
  !endif
!macroend
!insertmacro RequireDefine VERSION
!insertmacro RequireDefine BUNDLE_DIR
!insertmacro RequireDefine MODULE_SHA256
!insertmacro RequireDefine EFFECT_DLL
!insertmacro RequireDefine EFFECT_SHA256
!insertmacro RequireDefine UNINSTALL_EXE
!insertmacro RequireDefine OUTFILE
!ifndef PLUGINS_DIR
  !define PLUGINS_DIR "$COMMONFILES64\AAX\Plug-Ins"
!endif

!define PRODUCT "VantreloDelay AAX"
!define COMPANY "Brenlock"
!define BUNDLE "VantreloDelay.aaxplugin"
!define LIBRARY "${BUNDLE}\Contents\x64\${BUNDLE}"
; The longest plug-in folder: a host loads the library by a path of at most 259 characters (the
; module's own limit too), and "\${LIBRARY}" adds 61.
!define MOST_FOLDER_LENGTH 198
!define APP_DIR "$PROGRAMFILES64\${COMPANY}\${PRODUCT}"
!define EVALUATION_DIR "${APP_DIR}\Evaluation"
!define EFFECT_FILE "VST64\VantreloDelay.dll"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\${COMPANY} ${PRODUCT}"
!define EFFECT_KEY "Software\${COMPANY}\VantreloDelay"
!define EFFECT_VALUE "installdirectory"
!define STEPS "UninstallSteps.exe"
; Registry views as the module reads them, in its order, and the Win32 value types we restore.
!define VIEW64 0x100
!define VIEW32 0x200
!define REG_SZ 1
!define REG_EXPAND_SZ 2
; Room for a value's text: NSIS strings, terminator included, as UTF-16 bytes.
!define /math VALUE_BYTES ${NSIS_MAX_STRLEN} * 2

Name "${PRODUCT} ${VERSION}"
OutFile "${OUTFILE}"
InstallDir "${PLUGINS_DIR}"
; A second install goes where the first one went, unless "/D=" says otherwise.
InstallDirRegKey HKLM "${UNINSTALL_KEY}" "InstallLocation"
ShowInstDetails show
ShowUninstDetails show
BrandingText "${COMPANY} ${PRODUCT} ${VERSION}"

VIProductVersion "${VERSION}.0"
VIFileVersion "${VERSION}.0"
VIAddVersionKey /LANG=1033 "ProductName" "${PRODUCT}"
VIAddVersionKey /LANG=1033 "CompanyName" "${COMPANY}"
VIAddVersionKey /LANG=1033 "FileDescription" "${PRODUCT} ${VERSION} setup"
VIAddVersionKey /LANG=1033 "FileVersion" "${VERSION}"
VIAddVersionKey /LANG=1033 "ProductVersion" "${VERSION}"
VIAddVersionKey /LANG=1033 "LegalCopyright" "Copyright (C) ${COMPANY}"

!define MUI_COMPONENTSPAGE_NODESC
!insertmacro MUI_PAGE_COMPONENTS
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "English"

; What the entry recorded before this run, and what this run decides and does.
Var EntryExisted      ; 1 when an earlier install left its entry
Var OldLocation       ; its plug-in folder
Var OldModuleSha      ; the SHA-256 it recorded for the library ("" when none: an install from before records)
Var OldEvaluationSha  ; the SHA-256 of its reference delay ("" when it installed none)
Var Created           ; the outermost plug-in folder that the installs created ("" when none)
Var NewCreated        ; the outermost one that this run creates
Var EvaluationPlan    ; "install" (or upgrade), "skip" (the maker's effect is found) or "" (not chosen)
Var EvaluationView    ; the view whose value points at the reference delay
Var WroteModule       ; 1 once this run wrote the library, for undoing a failed first install
Var WroteEvaluation   ; 1 once it wrote the reference delay
Var WroteValue        ; 1 once it pointed the effect's value at the reference delay

; ---------------------------------------------------------------------------------------------
; Shared by the installer and the uninstaller (PREFIX "" or "un.").

; Ends the run: the reason on the standard error stream and in the details, in a message box
; unless silent, and exit status 2. Nothing after it runs.
!macro Fail TEXT
  Push "${TEXT}"
  Call ${__FAIL_PREFIX}ReportFailure
  SetErrorLevel 2
  Abort
!macroend

!macro DefineShared PREFIX ROLE
; TEXT on the stack: writes it as one line to the standard error stream, when there is one,
; and to the details, and shows it unless silent.
Function ${PREFIX}ReportFailure
  Exch $0
  Push $1
  Push $2
  Push $3
  DetailPrint "$0"
  System::Call 'kernel32::GetStdHandle(i -12) p .r1'
  ${If} $1 P<> 0
  ${AndIf} $1 P<> -1
    StrCpy $2 "${PRODUCT} ${ROLE}: $0$\n"
    System::Call 'kernel32::WideCharToMultiByte(i 65001, i 0, w r2, i -1, p 0, i 0, p 0, p 0) i .r3'
    System::Call '*(&m$3) p .r0'
    System::Call 'kernel32::WideCharToMultiByte(i 65001, i 0, w r2, i -1, p r0, i r3, p 0, p 0) i .r3'
    IntOp $3 $3 - 1
    System::Call 'kernel32::WriteFile(p r1, p r0, i r3, *i .r2, p 0)'
    System::Free $0
  ${EndIf}
  MessageBox MB_OK|MB_ICONSTOP "$0" /SD IDOK
  Pop $3
  Pop $2
  Pop $1
  Pop $0
FunctionEnd

; FILE on the stack; leaves its SHA-256 in lowercase hexadecimal, or "" when it cannot be read.
Function ${PREFIX}Sha256
  Exch $0
  Push $1
  Push $2
  Push $3
  Push $4
  Push $5
  Push $6
  Push $7
  StrCpy $7 ""
  System::Call 'kernel32::CreateFileW(w r0, i 0x80000000, i 1, p 0, i 3, i 0, p 0) p .r1'
  ${If} $1 P<> -1
    System::Call 'kernel32::GetFileSizeEx(p r1, *l .r2) i .r3'
    System::Alloc $2
    Pop $4
    System::Call 'kernel32::ReadFile(p r1, p r4, i r2, *i .r5, p 0) i .r3'
    System::Call 'kernel32::CloseHandle(p r1)'
    ${If} $3 <> 0
    ${AndIf} $5 = $2
      System::Call 'advapi32::CryptAcquireContextW(*p .r1, p 0, p 0, i 24, i 0xF0000000) i .r3'
      ${If} $3 <> 0
        System::Call 'advapi32::CryptCreateHash(p r1, i 0x800C, p 0, i 0, *p .r6) i .r3'
        ${If} $3 <> 0
          System::Call 'advapi32::CryptHashData(p r6, p r4, i r5, i 0) i .r3'
          System::Call '*(&i32) p .r2'
          System::Call 'advapi32::CryptGetHashParam(p r6, i 2, p r2, *i 32, i 0) i .r3'
          ${If} $3 <> 0
            StrCpy $5 0
            ${Do}
              IntOp $3 $2 + $5
              System::Call '*$3(&i1 .r3)'
              IntOp $3 $3 & 0xFF
              IntFmt $3 "%02x" $3
              StrCpy $7 "$7$3"
              IntOp $5 $5 + 1
            ${LoopUntil} $5 = 32
          ${EndIf}
          System::Free $2
          System::Call 'advapi32::CryptDestroyHash(p r6)'
        ${EndIf}
        System::Call 'advapi32::CryptReleaseContext(p r1, i 0)'
      ${EndIf}
    ${EndIf}
    System::Free $4
  ${EndIf}
  StrCpy $0 $7
  Pop $7
  Pop $6
  Pop $5
  Pop $4
  Pop $3
  Pop $2
  Pop $1
  Exch $0
FunctionEnd

; FILE on the stack; leaves 1 when it can be opened for writing (so replaced or deleted: a
; library that a host has loaded cannot), else 0. A missing file counts as writable.
Function ${PREFIX}Writable
  Exch $0
  Push $1
  ${If} ${FileExists} "$0"
    System::Call 'kernel32::CreateFileW(w r0, i 0x40000000, i 0, p 0, i 3, i 0, p 0) p .r1'
    ${If} $1 P= -1
      StrCpy $0 0
    ${Else}
      System::Call 'kernel32::CloseHandle(p r1)'
      StrCpy $0 1
    ${EndIf}
  ${Else}
    StrCpy $0 1
  ${EndIf}
  Pop $1
  Exch $0
FunctionEnd

; FILE and RECORDED (its SHA-256 as an install recorded it) on the stack, RECORDED on top;
; leaves "ours" when the file exists with that content, "missing" when it does not exist, else
; "foreign".
Function ${PREFIX}Ownership
  Exch $1
  Exch
  Exch $0
  ${If} ${FileExists} "$0"
    Push $0
    Call ${PREFIX}Sha256
    Pop $0
    ${If} $0 != ""
    ${AndIf} $0 == $1
      StrCpy $0 "ours"
    ${Else}
      StrCpy $0 "foreign"
    ${EndIf}
  ${Else}
    StrCpy $0 "missing"
  ${EndIf}
  Exch $0
  Exch
  Pop $1
FunctionEnd

; VIEW (${VIEW64} or ${VIEW32}) on the stack; leaves the effect's value in that view as two
; entries: its type on top (0 when there is no value), under it its text as stored (unexpanded;
; "" for a value that is not a string).
Function ${PREFIX}ReadEffectValue
  Exch $0
  Push $1
  Push $2
  Push $3
  Push $4
  StrCpy $3 0
  StrCpy $4 ""
  IntOp $0 $0 | 0x20019
  System::Call 'advapi32::RegOpenKeyExW(p -2147483646, w "${EFFECT_KEY}", i 0, i r0, *p .r1) i .r2'
  ${If} $2 = 0
    System::Call '*(&w${NSIS_MAX_STRLEN}) p .r0'
    System::Call 'advapi32::RegQueryValueExW(p r1, w "${EFFECT_VALUE}", p 0, *i .r3, p r0, *i ${VALUE_BYTES}) i .r2'
    ${If} $2 = 0
      ${If} $3 = ${REG_SZ}
      ${OrIf} $3 = ${REG_EXPAND_SZ}
        System::Call '*$0(&w${NSIS_MAX_STRLEN} .r4)'
      ${EndIf}
    ${ElseIf} $2 = 234  ; ERROR_MORE_DATA: there is a value, too long for us to judge
      StrCpy $3 -1
    ${Else}
      StrCpy $3 0
    ${EndIf}
    System::Free $0
    System::Call 'advapi32::RegCloseKey(p r1)'
  ${EndIf}
  StrCpy $0 $4
  StrCpy $1 $3
  Pop $4
  Pop $3
  Pop $2
  Exch $1
  Exch
  Exch $0
  Exch
FunctionEnd

; TEXT and TYPE (as ReadEffectValue left them, TYPE on top); leaves the folder the module takes
; it to name: expanded, without trailing spaces and one pair of quotes around it; "" when it
; names no absolute folder.
Function ${PREFIX}FolderOfValue
  Exch $1
  Exch
  Exch $0
  ${If} $1 = ${REG_EXPAND_SZ}
    ExpandEnvStrings $0 "$0"
  ${EndIf}
  Push $0
  Call ${PREFIX}TrimTrailingSpaces
  Pop $0
  StrCpy $1 $0 1
  ${If} $1 == '"'
    StrCpy $1 $0 "" -1
    ${If} $1 == '"'
      StrCpy $0 $0 -1 1
      Push $0
      Call ${PREFIX}TrimTrailingSpaces
      Pop $0
    ${EndIf}
  ${EndIf}
  Push $0
  Call ${PREFIX}IsAbsolute
  Pop $1
  ${If} $1 != 1
    StrCpy $0 ""
  ${EndIf}
  Exch $0
  Exch
  Pop $1
FunctionEnd

Function ${PREFIX}TrimTrailingSpaces
  Exch $0
  Push $1
  ${Do}
    StrCpy $1 $0 "" -1
    ${If} $1 != " "
      ${ExitDo}
    ${EndIf}
    StrCpy $0 $0 -1
  ${Loop}
  Pop $1
  Exch $0
FunctionEnd

; PATH on the stack; leaves 1 when it is absolute (a drive letter, a colon and a separator, or
; two separators), else 0.
Function ${PREFIX}IsAbsolute
  Exch $0
  Push $1
  Push $2
  StrCpy $1 $0 1      ; drive letter, or a separator
  StrCpy $2 $0 1 1    ; colon, or a separator
  ${WordReplace} "$1$2" "/" "\" "+" $2
  StrCpy $0 $0 1 2    ; a separator after the colon
  ${If} $2 == "\\"
    StrCpy $0 1
  ${ElseIf} $0 != "\"
  ${AndIf} $0 != "/"
    StrCpy $0 0
  ${ElseIf} $1 S>= "A"
  ${AndIf} $1 S<= "Z"
  ${AndIf} $2 S== "$1:"
    StrCpy $0 1
  ${ElseIf} $1 S>= "a"
  ${AndIf} $1 S<= "z"
  ${AndIf} $2 S== "$1:"
    StrCpy $0 1
  ${Else}
    StrCpy $0 0
  ${EndIf}
  Pop $2
  Pop $1
  Exch $0
FunctionEnd


; Removes the bundle's folders in LOCATION and the plug-in folders from LOCATION up to CREATED
; (the outermost one that an install created; none when empty), each only once it is empty.
Function ${PREFIX}RemoveBundleFolders
  Exch $1  ; CREATED
  Exch
  Exch $0  ; LOCATION
  Push $2
  RMDir "$0\${BUNDLE}\Contents\x64"
  RMDir "$0\${BUNDLE}\Contents"
  RMDir "$0\${BUNDLE}"
  ${If} $1 != ""
    ${Do}
      RMDir "$0"
      ${If} $0 == $1
        ${ExitDo}
      ${EndIf}
      ${GetParent} "$0" $2
      ${If} $2 == ""
      ${OrIf} $2 == $0
        ${ExitDo}
      ${EndIf}
      StrCpy $0 "$2"
    ${Loop}
  ${EndIf}
  Pop $2
  Pop $0
  Pop $1
FunctionEnd

; Points the effect's value back where it was before an install pointed it at the reference
; delay (or removes it, with the keys that are empty then), while it still names the reference
; delay. Uses the entry's records.
Function ${PREFIX}RestoreEffectValue
  Push $0
  Push $1
  Push $2
  Push $3
  ReadRegStr $0 HKLM "${UNINSTALL_KEY}" "EffectValueView"
  ${If} $0 != ""
    Push $0
    Call ${PREFIX}ReadEffectValue
    Pop $2
    Pop $1
    Push $1
    Push $2
    Call ${PREFIX}FolderOfValue
    Pop $1
    ${If} $1 == "${EVALUATION_DIR}"
      ReadRegStr $1 HKLM "${UNINSTALL_KEY}" "ReplacedValue"
      ReadRegDWORD $2 HKLM "${UNINSTALL_KEY}" "ReplacedValueType"
      ${If} $0 = ${VIEW32}
        SetRegView 32
      ${EndIf}
      ${If} $2 = ${REG_SZ}
        WriteRegStr HKLM "${EFFECT_KEY}" "${EFFECT_VALUE}" "$1"
      ${ElseIf} $2 = ${REG_EXPAND_SZ}
        WriteRegExpandStr HKLM "${EFFECT_KEY}" "${EFFECT_VALUE}" "$1"
      ${Else}
        DeleteRegValue HKLM "${EFFECT_KEY}" "${EFFECT_VALUE}"
        DeleteRegKey /ifempty HKLM "${EFFECT_KEY}"
        DeleteRegKey /ifempty HKLM "Software\${COMPANY}"
      ${EndIf}
      SetRegView 64
    ${EndIf}
    DeleteRegValue HKLM "${UNINSTALL_KEY}" "EffectValueView"
    DeleteRegValue HKLM "${UNINSTALL_KEY}" "ReplacedValue"
    DeleteRegValue HKLM "${UNINSTALL_KEY}" "ReplacedValueType"
  ${EndIf}
  Pop $3
  Pop $2
  Pop $1
  Pop $0
FunctionEnd

; Removes the reference delay when it is the one recorded, its folders once empty, and its
; value; a file that differs is left. Leaves "failed" when ours cannot be deleted, else "".
Function ${PREFIX}RemoveEvaluation
  Push $0
  Push $1
  StrCpy $1 ""
  ReadRegStr $0 HKLM "${UNINSTALL_KEY}" "EvaluationSha256"
  ${If} $0 != ""
    Push "${EVALUATION_DIR}\${EFFECT_FILE}"
    Push $0
    Call ${PREFIX}Ownership
    Pop $0
    ${If} $0 == "ours"
      Delete "${EVALUATION_DIR}\${EFFECT_FILE}"
    ${ElseIf} $0 == "foreign"
      DetailPrint "Left ${EVALUATION_DIR}\${EFFECT_FILE}: it is not the file this installer wrote."
    ${EndIf}
    ${IfNot} ${FileExists} "${EVALUATION_DIR}\${EFFECT_FILE}"
    ${OrIf} $0 == "foreign"
      DeleteRegValue HKLM "${UNINSTALL_KEY}" "EvaluationSha256"
      Call ${PREFIX}RestoreEffectValue
    ${Else}
      StrCpy $1 "failed"
    ${EndIf}
  ${EndIf}
  RMDir "${EVALUATION_DIR}\VST64"
  RMDir "${EVALUATION_DIR}"
  StrCpy $0 $1
  Pop $1
  Exch $0
FunctionEnd
!macroend

!define __FAIL_PREFIX ""
!insertmacro DefineShared "" "setup"
!insertmacro DefineShared "un." "uninstall"

; ---------------------------------------------------------------------------------------------
; Installer

!macro FailWhenInUse FILE
  Push "${FILE}"
  Call Writable
  Pop $0
  ${If} $0 != 1
    !insertmacro Fail "${FILE} is in use (a host has it loaded?): close it and run the installer again; nothing was changed"
  ${EndIf}
!macroend


; FOLDER on the stack; leaves the effect library's path in it as the module forms it.
Function EffectLibraryIn
  Exch $0
  Push $1
  StrCpy $1 $0 "" -1
  ${If} $1 != "\"
  ${AndIf} $1 != "/"
    StrCpy $0 "$0\"
  ${EndIf}
  StrCpy $0 "$0${EFFECT_FILE}"
  Pop $1
  Exch $0
FunctionEnd

Section "${PRODUCT} plug-in" SectionPlugin
  SectionIn RO
  SetRegView 64
  SetShellVarContext all
  Call CheckBeforeChanging

  ; Remember the outermost plug-in folder that this install creates, so that the uninstaller
  ; removes the folders it made and no others. A reinstall into the same place keeps what the
  ; first install recorded.
  StrCpy $NewCreated ""
  StrCpy $1 "$INSTDIR"
  ${DoUntil} ${FileExists} "$1\*.*"
    StrCpy $NewCreated "$1"
    ${GetParent} "$1" $2
    ${If} $2 == ""
    ${OrIf} $2 == $1
      ${ExitDo}
    ${EndIf}
    StrCpy $1 "$2"
  ${Loop}

  ; The library first: should it fail, nothing else has changed. Each file is recorded as soon
  ; as it is on disk, so the entry describes what is there even if a later step fails.
  SetOutPath "$INSTDIR\${BUNDLE}\Contents\x64"
  File "${BUNDLE_DIR}/Contents/x64/${BUNDLE}"
  StrCpy $WroteModule 1
  ${If} $OldLocation != ""
  ${AndIf} $OldLocation != $INSTDIR
    ; A move: the old library (checked above) goes, so that no copy stays behind for hosts to
    ; find; should it not go after all, the new one does, and the earlier install stays as it was.
    Push "$OldLocation\${LIBRARY}"
    Push $OldModuleSha
    Call Ownership
    Pop $0
    ${If} $0 == "foreign"
    ${AndIf} $OldModuleSha == ""  ; an install from before records
    ${OrIf} $0 == "ours"
      ClearErrors
      Delete "$OldLocation\${LIBRARY}"
      ${If} ${Errors}
        Delete "$INSTDIR\${LIBRARY}"
        Push $INSTDIR
        Push $NewCreated
        Call RemoveBundleFolders
        StrCpy $WroteModule 0
        !insertmacro Fail "cannot remove $OldLocation\${LIBRARY} of the earlier install; nothing was changed"
      ${EndIf}
    ${ElseIf} $0 == "foreign"
      DetailPrint "Left $OldLocation\${LIBRARY}: it is not the file the earlier install wrote."
    ${EndIf}
    Push $OldLocation
    Push $Created
    Call RemoveBundleFolders
    ; A folder the earlier install created that now holds the new location stays recorded.
    StrLen $1 "$Created\"
    StrCpy $2 "$INSTDIR" $1
    ${IfNot} ${FileExists} "$Created\*.*"
    ${OrIf} $Created == ""
    ${OrIf} $2 != "$Created\"
      StrCpy $Created $NewCreated
    ${EndIf}
  ${ElseIf} $Created == ""
    StrCpy $Created $NewCreated
  ${EndIf}
  WriteRegStr HKLM "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "ModuleSha256" "${MODULE_SHA256}"
  ${If} $Created == ""
    DeleteRegValue HKLM "${UNINSTALL_KEY}" "CreatedFolder"
  ${Else}
    WriteRegStr HKLM "${UNINSTALL_KEY}" "CreatedFolder" "$Created"
  ${EndIf}

  ${If} $EvaluationPlan == "install"
    Call InstallEvaluation
  ${ElseIf} $EvaluationPlan == "skip"
    DetailPrint "VantreloDelay is installed already: the reference delay is not installed."
  ${ElseIf} $OldEvaluationSha != ""
    ; Unticked on this run: the reference delay goes, as the uninstaller would remove it.
    Call RemoveEvaluation
    Pop $0
    ${If} $0 == "failed"
      !insertmacro Fail "cannot remove ${EVALUATION_DIR}\${EFFECT_FILE}"
    ${EndIf}
  ${EndIf}

  SetOutPath "${APP_DIR}"
  File "/oname=Uninstall.exe" "${UNINSTALL_EXE}"
  ClearErrors
  WriteUninstaller "${APP_DIR}\${STEPS}"
  ${If} ${Errors}
    !insertmacro Fail "cannot write ${APP_DIR}\${STEPS}"
  ${EndIf}
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "${PRODUCT}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "Publisher" "${COMPANY}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"${APP_DIR}\Uninstall.exe"'
  WriteRegStr HKLM "${UNINSTALL_KEY}" "QuietUninstallString" '"${APP_DIR}\Uninstall.exe" /S'
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1
  ${GetSize} "$INSTDIR\${BUNDLE}" "/S=0K" $5 $6 $7
  ${GetSize} "${APP_DIR}" "/S=0K" $8 $6 $7
  IntOp $5 $5 + $8
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "EstimatedSize" $5
SectionEnd

Section /o "Reference delay for evaluation" SectionEvaluation
  ; Installed with the plug-in's section, which decides whether it is needed.
SectionEnd

; Everything that could stop the installation, checked before anything changes.
Function CheckBeforeChanging
  Push $INSTDIR
  Call CheckFolder
  Pop $INSTDIR
  Push "$INSTDIR\${LIBRARY}"
  Push $OldModuleSha
  Call Ownership
  Pop $0
  ${If} $0 == "foreign"  ; or a copy of the very file this installer brings
    Push "$INSTDIR\${LIBRARY}"
    Push "${MODULE_SHA256}"
    Call Ownership
    Pop $0
  ${EndIf}
  ${If} $0 == "foreign"
    ; A library that an earlier install of ours put here before installs recorded their files.
    ${If} $OldModuleSha != ""
    ${OrIf} $OldLocation != $INSTDIR
      !insertmacro Fail "$INSTDIR\${LIBRARY} is not a file this installer wrote; move it away and install again"
    ${EndIf}
  ${EndIf}
  !insertmacro FailWhenInUse "$INSTDIR\${LIBRARY}"
  ${If} $OldLocation != ""
  ${AndIf} $OldLocation != $INSTDIR
    !insertmacro FailWhenInUse "$OldLocation\${LIBRARY}"
  ${EndIf}
  !insertmacro FailWhenInUse "${APP_DIR}\Uninstall.exe"
  !insertmacro FailWhenInUse "${APP_DIR}\${STEPS}"

  StrCpy $EvaluationPlan ""
  ${If} ${SectionIsSelected} ${SectionEvaluation}
    Call PlanEvaluation
  ${EndIf}
  ${If} $EvaluationPlan == "install"
  ${OrIf} $OldEvaluationSha != ""
    Push "${EVALUATION_DIR}\${EFFECT_FILE}"
    Push $OldEvaluationSha
    Call Ownership
    Pop $0
    ${If} $0 == "foreign"
      Push "${EVALUATION_DIR}\${EFFECT_FILE}"
      Push "${EFFECT_SHA256}"
      Call Ownership
      Pop $0
    ${EndIf}
    ${If} $0 == "foreign"
    ${AndIf} $EvaluationPlan == "install"
      !insertmacro Fail "${EVALUATION_DIR}\${EFFECT_FILE} is not a file this installer wrote; move it away and install again"
    ${EndIf}
    ${If} $0 == "ours"
      !insertmacro FailWhenInUse "${EVALUATION_DIR}\${EFFECT_FILE}"
    ${EndIf}
  ${EndIf}
FunctionEnd

; Decides whether the reference delay is needed: the module reads the 64-bit view, then the
; 32-bit view, and takes the first value that names a folder holding the effect. When one of
; the maker's does, the reference delay is not installed. Otherwise it is, and its value goes
; where the module reads first among the views that have a value (replacing that one, recorded
; for the uninstaller to put back), or into the 64-bit view when neither has one, so that it
; never hides a value of the maker's.
Function PlanEvaluation
  StrCpy $EvaluationPlan "install"
  StrCpy $EvaluationView ""
  ${ForEach} $1 ${VIEW64} ${VIEW32} + 0x100
    Push $1
    Call ReadEffectValue
    Pop $3  ; type
    Pop $2  ; text
    ${If} $3 <> 0
      ${If} $3 <> ${REG_SZ}
      ${AndIf} $3 <> ${REG_EXPAND_SZ}
        ; A value we cannot judge (not a string, or too long) is the maker's: leave it alone.
        StrCpy $EvaluationPlan "skip"
        ${ExitFor}
      ${EndIf}
      Push $2
      Push $3
      Call FolderOfValue
      Pop $4
      ${If} $4 == "${EVALUATION_DIR}"
        StrCpy $EvaluationView $1
        ${ExitFor}
      ${EndIf}
      ${If} $4 != ""
        Push $4
        Call EffectLibraryIn
        Pop $4
        ${If} ${FileExists} $4
          StrCpy $EvaluationPlan "skip"
          ${ExitFor}
        ${EndIf}
      ${EndIf}
      ${If} $EvaluationView == ""
        StrCpy $EvaluationView $1
      ${EndIf}
    ${EndIf}
  ${Next}
  ${If} $EvaluationView == ""
    StrCpy $EvaluationView ${VIEW64}
  ${EndIf}
FunctionEnd

Function InstallEvaluation
  SetOutPath "${EVALUATION_DIR}\VST64"
  File "${EFFECT_DLL}"
  StrCpy $WroteEvaluation 1
  WriteRegStr HKLM "${UNINSTALL_KEY}" "EvaluationSha256" "${EFFECT_SHA256}"
  Push $EvaluationView
  Call ReadEffectValue
  Pop $1  ; type
  Pop $0  ; text
  Push $0
  Push $1
  Call FolderOfValue
  Pop $2
  ${If} $2 == "${EVALUATION_DIR}"
    Return  ; ours already
  ${EndIf}
  ${If} $1 <> 0
    WriteRegStr HKLM "${UNINSTALL_KEY}" "ReplacedValue" "$0"
    WriteRegDWORD HKLM "${UNINSTALL_KEY}" "ReplacedValueType" $1
  ${Else}
    DeleteRegValue HKLM "${UNINSTALL_KEY}" "ReplacedValue"
    DeleteRegValue HKLM "${UNINSTALL_KEY}" "ReplacedValueType"
  ${EndIf}
  WriteRegStr HKLM "${UNINSTALL_KEY}" "EffectValueView" $EvaluationView
  StrCpy $WroteValue 1
  ${If} $EvaluationView = ${VIEW32}
    SetRegView 32
  ${EndIf}
  WriteRegStr HKLM "${EFFECT_KEY}" "${EFFECT_VALUE}" "${EVALUATION_DIR}"
  SetRegView 64
FunctionEnd

; A failed first install takes back what it wrote (an earlier install's entry keeps its records,
; which describe the files on disk whatever step failed).
Function .onInstFailed
  SetRegView 64
  ${If} $EntryExisted == 1
    ; Folders made for a library that could not be written.
    ${If} $WroteModule != 1
      Push $INSTDIR
      Push $NewCreated
      Call RemoveBundleFolders
    ${EndIf}
    Return
  ${EndIf}
  ${If} $WroteValue = 1
    Call RestoreEffectValue
  ${EndIf}
  ${If} $WroteEvaluation = 1
    Delete "${EVALUATION_DIR}\${EFFECT_FILE}"
  ${EndIf}
  RMDir "${EVALUATION_DIR}\VST64"
  RMDir "${EVALUATION_DIR}"
  ${If} $WroteModule = 1
    Delete "$INSTDIR\${LIBRARY}"
  ${EndIf}
  Push $INSTDIR
  Push $NewCreated
  Call RemoveBundleFolders
  Delete "${APP_DIR}\Uninstall.exe"
  Delete "${APP_DIR}\${STEPS}"
  RMDir "${APP_DIR}"
  RMDir "$PROGRAMFILES64\${COMPANY}"
  DeleteRegKey HKLM "${UNINSTALL_KEY}"
FunctionEnd

; The folder "/D=" names, as given on the command line (NSIS itself drops a quoted, forward-
; slashed or relative one without a word, and cuts a long one short): quotes around it
; removed, forward slashes taken as backslashes, then checked and normalised, or the run fails.
Function ReadFolderOption
  System::Call 'kernel32::GetCommandLineW() w .r0'
  StrLen $1 $0
  IntOp $1 $1 - 4
  ${Do}
    ${If} $1 < 0
      Return
    ${EndIf}
    StrCpy $2 $0 4 $1
    ${If} $2 S== " /D="
      ${ExitDo}
    ${EndIf}
    IntOp $1 $1 - 1
  ${Loop}
  IntOp $1 $1 + 4
  StrCpy $0 $0 "" $1
  Push $0
  Call TrimTrailingSpaces
  Pop $0
  StrCpy $1 $0 1
  StrCpy $2 $0 "" -1
  ${If} $1 == '"'
  ${AndIf} $2 == '"'
    StrCpy $0 $0 -1 1
  ${EndIf}
  ${WordReplace} "$0" "/" "\" "+" $0
  Push $0
  Call CheckFolder
  Pop $INSTDIR
FunctionEnd

; FOLDER on the stack; leaves it normalised (absolute, "." and ".." resolved, no trailing
; separator) or ends the run saying why it cannot hold the plug-in.
Function CheckFolder
  Exch $0
  Push $1
  Push $2
  ${If} $0 == ""
    !insertmacro Fail "no plug-in folder is given"
  ${EndIf}
  Push $0
  Call IsAbsolute
  Pop $1
  ${If} $1 != 1
    !insertmacro Fail "the plug-in folder $0 is not an absolute path (a drive letter or \\server\share, and the folders)"
  ${EndIf}
  StrCpy $1 0
  ${Do}
    StrCpy $2 $0 1 $1
    ${If} $2 == ""
      ${ExitDo}
    ${EndIf}
    ${If} $2 == '"'
    ${OrIf} $2 == "*"
    ${OrIf} $2 == "?"
    ${OrIf} $2 == "<"
    ${OrIf} $2 == ">"
    ${OrIf} $2 == "|"
      !insertmacro Fail "the plug-in folder $0 holds a character that no folder name may hold ($2)"
    ${EndIf}
    IntOp $1 $1 + 1
  ${Loop}
  System::Call 'kernel32::GetFullPathNameW(w r0, i ${NSIS_MAX_STRLEN}, w .r1, p 0) i .r2'
  ${If} $2 = 0
  ${OrIf} $2 >= ${NSIS_MAX_STRLEN}
    !insertmacro Fail "the plug-in folder $0 is too long for Windows"
  ${EndIf}
  StrCpy $0 $1
  StrCpy $1 $0 "" -1
  StrLen $2 $0
  ${If} $1 == "\"
  ${AndIf} $2 > 3
    StrCpy $0 $0 -1
  ${EndIf}
  StrLen $2 $0
  ${If} $2 > ${MOST_FOLDER_LENGTH}
    !insertmacro Fail "the plug-in folder may have at most ${MOST_FOLDER_LENGTH} characters, so that hosts can load the plug-in (paths of at most 259); $0 has $2"
  ${EndIf}
  Pop $2
  Pop $1
  Exch $0
FunctionEnd

Function .onVerifyInstDir
  StrLen $0 $INSTDIR
  ${If} $0 > ${MOST_FOLDER_LENGTH}
    Abort
  ${EndIf}
  Push $INSTDIR
  Call IsAbsolute
  Pop $0
  ${If} $0 != 1
    Abort
  ${EndIf}
FunctionEnd

Function .onInit
  SetRegView 64
  SetShellVarContext all
  StrCpy $WroteModule 0
  StrCpy $WroteEvaluation 0
  StrCpy $WroteValue 0
  Call ReadFolderOption

  ClearErrors
  ReadRegStr $0 HKLM "${UNINSTALL_KEY}" "DisplayVersion"
  ${If} ${Errors}
    StrCpy $EntryExisted 0
  ${Else}
    StrCpy $EntryExisted 1
  ${EndIf}
  ReadRegStr $OldLocation HKLM "${UNINSTALL_KEY}" "InstallLocation"
  ReadRegStr $OldModuleSha HKLM "${UNINSTALL_KEY}" "ModuleSha256"
  ReadRegStr $OldEvaluationSha HKLM "${UNINSTALL_KEY}" "EvaluationSha256"
  ReadRegStr $Created HKLM "${UNINSTALL_KEY}" "CreatedFolder"
  ${GetParameters} $1

  ; An older version over a newer one only when asked for.
  ${If} $0 != ""
    ${VersionCompare} "${VERSION}" "$0" $2
    ${If} $2 = 2
      ClearErrors
      ${GetOptions} $1 "/ALLOWDOWNGRADE" $3
      ${If} ${Errors}
        ${If} ${Silent}
          !insertmacro Fail "version $0 is installed, newer than this installer's ${VERSION}; /ALLOWDOWNGRADE installs it anyway"
        ${EndIf}
        MessageBox MB_YESNO|MB_ICONQUESTION "Version $0 is installed, newer than ${VERSION}. Install the older version ${VERSION} over it?" IDYES downgrade
        SetErrorLevel 1
        Quit
        downgrade:
      ${EndIf}
    ${EndIf}
  ${EndIf}

  ; The reference delay stays chosen when an earlier install put it there.
  ClearErrors
  ${GetOptions} $1 "/EVALUATION" $3
  ${IfNot} ${Errors}
  ${OrIf} $OldEvaluationSha != ""
    !insertmacro SelectSection ${SectionEvaluation}
  ${EndIf}
FunctionEnd

; ---------------------------------------------------------------------------------------------
; Uninstaller's steps. Uninstall.exe runs them in place ("_?=" names our folder, which is
; $INSTDIR here) and removes them, itself and the folder afterwards.

!undef __FAIL_PREFIX
!define __FAIL_PREFIX "un."

!macro UnFailWhenInUse FILE
  Push "${FILE}"
  Call un.Writable
  Pop $0
  ${If} $0 != 1
    !insertmacro Fail "${FILE} is in use (a host has it loaded?): close it and uninstall again; nothing was removed"
  ${EndIf}
!macroend

Section "Uninstall"
  SetRegView 64
  SetShellVarContext all
  ReadRegStr $OldLocation HKLM "${UNINSTALL_KEY}" "InstallLocation"
  ReadRegStr $OldModuleSha HKLM "${UNINSTALL_KEY}" "ModuleSha256"
  ReadRegStr $Created HKLM "${UNINSTALL_KEY}" "CreatedFolder"
  ${If} $OldLocation == ""
    StrCpy $OldLocation "${PLUGINS_DIR}"
  ${EndIf}

  ; Everything that could stop the uninstallation, checked before anything changes: our files
  ; must not be in use.
  Push "$OldLocation\${LIBRARY}"
  Push $OldModuleSha
  Call un.Ownership
  Pop $1
  ${If} $1 == "ours"
  ${OrIf} $OldModuleSha == ""
    !insertmacro UnFailWhenInUse "$OldLocation\${LIBRARY}"
  ${EndIf}
  ReadRegStr $0 HKLM "${UNINSTALL_KEY}" "EvaluationSha256"
  ${If} $0 != ""
    Push "$INSTDIR\Evaluation\${EFFECT_FILE}"
    Push $0
    Call un.Ownership
    Pop $0
    ${If} $0 == "ours"
      !insertmacro UnFailWhenInUse "$INSTDIR\Evaluation\${EFFECT_FILE}"
    ${EndIf}
  ${EndIf}

  ; The library when it is the one recorded (or an install from before records put it there).
  ${If} $1 == "foreign"
  ${AndIf} $OldModuleSha != ""
    DetailPrint "Left $OldLocation\${LIBRARY}: it is not the file this installer wrote."
  ${ElseIf} $1 != "missing"
    ClearErrors
    Delete "$OldLocation\${LIBRARY}"
    ${If} ${Errors}
      !insertmacro Fail "cannot remove $OldLocation\${LIBRARY}; the plug-in stays installed"
    ${EndIf}
  ${EndIf}
  DeleteRegValue HKLM "${UNINSTALL_KEY}" "ModuleSha256"
  Push $OldLocation
  Push $Created
  Call un.RemoveBundleFolders

  Call un.RemoveEvaluation
  Pop $0
  ${If} $0 == "failed"
    !insertmacro Fail "cannot remove $INSTDIR\Evaluation\${EFFECT_FILE}; it stays installed"
  ${EndIf}

  DeleteRegKey HKLM "${UNINSTALL_KEY}"
  ; Run by Uninstall.exe, these two are running or waiting and it removes them; run on their
  ; own, NSIS runs a copy of the steps elsewhere and they go here.
  Delete "$INSTDIR\Uninstall.exe"
  Delete "$INSTDIR\${STEPS}"
  RMDir "$INSTDIR"
  RMDir "$PROGRAMFILES64\${COMPANY}"
SectionEnd
