; The Windows installer of the VantreloDelay AAX plug-in: a 64-bit NSIS installer, built on
; Linux by scripts/package.sh (makensis -WX, so every warning stops the build).
;
; It installs the bundle VantreloDelay.aaxplugin into the shared AAX plug-in folder ($INSTDIR,
; "/D=" moves it) and its uninstaller into our own folder under Program Files, and registers the
; uninstaller with the system's list of installed programs. It does not install Brenlock's
; VantreloDelay effect and does not write the effect's registry value: the effect's own
; installer does that. The optional component "Reference delay for evaluation" (or "/EVALUATION"
; on the command line) installs our reference delay into our own folder and points the value at
; it, but never replaces a value that names another folder.
;
; The uninstaller removes exactly what an installer put there: the bundle's library, the folders
; that the installs created (only when they are empty again), the reference delay, and the
; registry value only while it still names our folder.
;
; Defines (-D on the makensis command line):
;   VERSION      x.y.z, the one version number of the project
;   BUNDLE_DIR   the laid-out VantreloDelay.aaxplugin folder
;   EFFECT_DLL   the reference delay's VantreloDelay.dll
;   OUTFILE      the installer to write
;   PLUGINS_DIR  optional: the default plug-in folder (default below)

Unicode true
Target amd64-unicode
SetCompressor /SOLID lzma
RequestExecutionLevel admin
ManifestDPIAware true

!include LogicLib.nsh
!include FileFunc.nsh
!include Sections.nsh
!include MUI2.nsh

!macro RequireDefine NAME
  !ifndef ${NAME}
    !error "${NAME} is not defined (scripts/package.sh passes VERSION, BUNDLE_DIR, EFFECT_DLL, OUTFILE)"
  !endif
!macroend
!insertmacro RequireDefine VERSION
!insertmacro RequireDefine BUNDLE_DIR
!insertmacro RequireDefine EFFECT_DLL
!insertmacro RequireDefine OUTFILE
!ifndef PLUGINS_DIR
  !define PLUGINS_DIR "$COMMONFILES64\AAX\Plug-Ins"
!endif

!define PRODUCT "VantreloDelay AAX"
!define COMPANY "Brenlock"
!define BUNDLE "VantreloDelay.aaxplugin"
!define APP_DIR "$PROGRAMFILES64\${COMPANY}\${PRODUCT}"
!define EVALUATION_DIR "${APP_DIR}\Evaluation"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\${COMPANY} ${PRODUCT}"
!define EFFECT_KEY "Software\${COMPANY}\VantreloDelay"
!define EFFECT_VALUE "installdirectory"

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

; Removes the bundle's library from the plug-in folder LOCATION, then the bundle's folders and
; the folders from LOCATION up to CREATED (the outermost one that an install created; none when
; empty), each only once it is empty. Uses $8 and $9.
!macro RemoveBundle LOCATION CREATED
  Delete "${LOCATION}\${BUNDLE}\Contents\x64\${BUNDLE}"
  RMDir "${LOCATION}\${BUNDLE}\Contents\x64"
  RMDir "${LOCATION}\${BUNDLE}\Contents"
  RMDir "${LOCATION}\${BUNDLE}"
  ${If} "${CREATED}" != ""
    StrCpy $8 "${LOCATION}"
    ${Do}
      RMDir "$8"
      ${If} $8 == "${CREATED}"
        ${ExitDo}
      ${EndIf}
      ${GetParent} "$8" $9
      ${If} $9 == ""
      ${OrIf} $9 == $8
        ${ExitDo}
      ${EndIf}
      StrCpy $8 "$9"
    ${Loop}
  ${EndIf}
!macroend

Section "${PRODUCT} plug-in" SectionPlugin
  SectionIn RO
  SetRegView 64
  SetShellVarContext all

  ; An install into another folder than the last one moves the bundle: otherwise the old copy
  ; would stay behind for hosts to find, with no uninstaller that knows about it.
  ReadRegStr $3 HKLM "${UNINSTALL_KEY}" "InstallLocation"
  ReadRegStr $4 HKLM "${UNINSTALL_KEY}" "CreatedFolder"
  ${If} $3 != ""
  ${AndIf} $3 != $INSTDIR
    !insertmacro RemoveBundle "$3" "$4"
    StrCpy $4 ""
  ${EndIf}

  ; Remember the outermost plug-in folder that this install creates, so that the uninstaller
  ; removes the folders it made and no others. A reinstall into the same place keeps what the
  ; first install recorded.
  StrCpy $0 ""
  StrCpy $1 "$INSTDIR"
  ${DoUntil} ${FileExists} "$1\*.*"
    StrCpy $0 "$1"
    ${GetParent} "$1" $2
    ${If} $2 == ""
    ${OrIf} $2 == $1
      ${ExitDo}
    ${EndIf}
    StrCpy $1 "$2"
  ${Loop}
  ${If} $0 == ""
    StrCpy $0 "$4"
  ${EndIf}

  ; The bundle holds exactly the files listed here and in the uninstaller.
  SetOutPath "$INSTDIR\${BUNDLE}\Contents\x64"
  File "${BUNDLE_DIR}/Contents/x64/${BUNDLE}"

  SetOutPath "${APP_DIR}"
  WriteUninstaller "${APP_DIR}\Uninstall.exe"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "${PRODUCT}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "Publisher" "${COMPANY}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"${APP_DIR}\Uninstall.exe"'
  WriteRegStr HKLM "${UNINSTALL_KEY}" "QuietUninstallString" '"${APP_DIR}\Uninstall.exe" /S'
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1
  ${If} $0 == ""
    DeleteRegValue HKLM "${UNINSTALL_KEY}" "CreatedFolder"
  ${Else}
    WriteRegStr HKLM "${UNINSTALL_KEY}" "CreatedFolder" "$0"
  ${EndIf}
  ${GetSize} "$INSTDIR\${BUNDLE}" "/S=0K" $5 $6 $7
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "EstimatedSize" $5
SectionEnd

Section /o "Reference delay for evaluation" SectionEvaluation
  SetRegView 64
  ; Brenlock's own effect, once installed, owns the value: leave it alone.
  Call EffectValueExists
  Pop $0
  ReadRegStr $1 HKLM "${EFFECT_KEY}" "${EFFECT_VALUE}"
  ${If} $0 == 1
  ${AndIf} $1 != "${EVALUATION_DIR}"
    DetailPrint "VantreloDelay is installed already: the reference delay is not installed."
  ${Else}
    SetOutPath "${EVALUATION_DIR}\VST64"
    File "${EFFECT_DLL}"
    WriteRegStr HKLM "${EFFECT_KEY}" "${EFFECT_VALUE}" "${EVALUATION_DIR}"
  ${EndIf}
SectionEnd

; Pushes 1 when the effect's registry value exists, whatever its type, else 0.
Function EffectValueExists
  Push $0
  Push $1
  StrCpy $1 0
  ${Do}
    ClearErrors
    EnumRegValue $0 HKLM "${EFFECT_KEY}" $1
    ${If} ${Errors}
    ${OrIf} $0 == ""
      StrCpy $0 0
      ${ExitDo}
    ${EndIf}
    ${If} $0 == "${EFFECT_VALUE}"
      StrCpy $0 1
      ${ExitDo}
    ${EndIf}
    IntOp $1 $1 + 1
  ${Loop}
  Pop $1
  Exch $0
FunctionEnd

Function .onInit
  SetRegView 64
  ${GetParameters} $0
  ClearErrors
  ${GetOptions} $0 "/EVALUATION" $1
  ${IfNot} ${Errors}
    !insertmacro SelectSection ${SectionEvaluation}
  ${EndIf}
FunctionEnd

Section "Uninstall"
  SetRegView 64
  SetShellVarContext all
  ; $INSTDIR is the uninstaller's own folder here; the bundle's folder comes from the entry.
  ReadRegStr $0 HKLM "${UNINSTALL_KEY}" "InstallLocation"
  ReadRegStr $1 HKLM "${UNINSTALL_KEY}" "CreatedFolder"
  ${If} $0 == ""
    StrCpy $0 "${PLUGINS_DIR}"
  ${EndIf}

  !insertmacro RemoveBundle "$0" "$1"

  ; The reference delay, and the value only while it names it.
  Delete "$INSTDIR\Evaluation\VST64\VantreloDelay.dll"
  RMDir "$INSTDIR\Evaluation\VST64"
  RMDir "$INSTDIR\Evaluation"
  ReadRegStr $2 HKLM "${EFFECT_KEY}" "${EFFECT_VALUE}"
  ${If} $2 == "$INSTDIR\Evaluation"
    DeleteRegValue HKLM "${EFFECT_KEY}" "${EFFECT_VALUE}"
    DeleteRegKey /ifempty HKLM "${EFFECT_KEY}"
    DeleteRegKey /ifempty HKLM "Software\${COMPANY}"
  ${EndIf}

  DeleteRegKey HKLM "${UNINSTALL_KEY}"
  Delete "$INSTDIR\Uninstall.exe"
  RMDir "$INSTDIR"
  RMDir "$PROGRAMFILES64\${COMPANY}"
SectionEnd
