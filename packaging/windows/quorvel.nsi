; The Windows installer: both programs under Program Files, a Start-menu entry, "Open with"
; for .csv logs, and an uninstaller. makensis -DVERSION=... -DBUILD=... -DSOURCE=... -DOUTFILE=...
; A 64-bit installer for the 64-bit programs (it also runs where 32-bit support is missing).
Target amd64-unicode
!include "x64.nsh"

Name "Quorvel ${VERSION}"
OutFile "${OUTFILE}"
InstallDir "$PROGRAMFILES64\Quorvel"
RequestExecutionLevel admin
SetCompressor /SOLID lzma

Page directory
Page instfiles
UninstPage uninstConfirm
UninstPage instfiles

!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Quorvel"
!define APPLICATION_KEY "Software\Classes\Applications\quorvel.exe"

Section "Quorvel"
  SetRegView 64
  SetShellVarContext all
  SetOutPath "$INSTDIR"
  File "${BUILD}\quorvel.exe"
  File "${BUILD}\quorvel-convert.exe"
  File "${SOURCE}\examples\track_day.csv"
  File "${BUILD}\README.txt"
  WriteUninstaller "$INSTDIR\uninstall.exe"

  CreateDirectory "$SMPROGRAMS\Quorvel"
  CreateShortcut "$SMPROGRAMS\Quorvel\Quorvel.lnk" "$INSTDIR\quorvel.exe"

  ; "Open with" for .csv: the log is passed as the program's argument.
  WriteRegStr HKLM "${APPLICATION_KEY}\shell\open\command" "" '"$INSTDIR\quorvel.exe" "%1"'
  WriteRegStr HKLM "${APPLICATION_KEY}" "FriendlyAppName" "Quorvel"
  WriteRegStr HKLM "${APPLICATION_KEY}\SupportedTypes" ".csv" ""
  WriteRegStr HKLM "Software\Classes\.csv\OpenWithList\quorvel.exe" "" ""

  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "Quorvel ${VERSION}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "Publisher" "Quorvel"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\quorvel.exe"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
  WriteRegStr HKLM "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1
SectionEnd

Section "Uninstall"
  SetRegView 64
  SetShellVarContext all
  Delete "$INSTDIR\quorvel.exe"
  Delete "$INSTDIR\quorvel-convert.exe"
  Delete "$INSTDIR\track_day.csv"
  Delete "$INSTDIR\README.txt"
  Delete "$INSTDIR\uninstall.exe"
  RMDir "$INSTDIR"
  Delete "$SMPROGRAMS\Quorvel\Quorvel.lnk"
  RMDir "$SMPROGRAMS\Quorvel"
  DeleteRegKey HKLM "${APPLICATION_KEY}"
  DeleteRegKey HKLM "Software\Classes\.csv\OpenWithList\quorvel.exe"
  DeleteRegKey HKLM "${UNINSTALL_KEY}"
  ; The settings in %APPDATA%\quorvel are the user's: they stay.
SectionEnd
