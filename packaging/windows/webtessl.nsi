; The WebTessl installer for Windows: a per-user installation that needs no administrator rights.
; It puts webtessl.exe, tessel.exe and the web page under the user's programs folder, records that
; folder where the server's launcher looks for tessel (HKCU\Software\Nalo\Tessel, InstallPath),
; adds Start-menu entries and an uninstaller. Built by makensis with three definitions:
;   VERSION      the program version
;   PROGRAM_DIR  the folder of the mingw-w64 build (webtessl.exe, tessel.exe, webroot)
;   OUT_FILE     the installer to write
; Silent use: setup.exe /S [/D=folder]; uninstall.exe /S.

!ifndef VERSION | PROGRAM_DIR | OUT_FILE
  !error "makensis needs -DVERSION=..., -DPROGRAM_DIR=... and -DOUT_FILE=..."
!endif

!define TESSEL_KEY "Software\Nalo\Tessel"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\WebTessl"
!define MENU_FOLDER "$SMPROGRAMS\WebTessl"
; The page as the server offers it with the default configuration.
!define PAGE_URL "http://localhost:20800/"

; A 64-bit installer for the 64-bit programs (and for Wine without its 32-bit part).
Target amd64-unicode
SetCompressor /SOLID lzma
Name "WebTessl ${VERSION}"
OutFile "${OUT_FILE}"
RequestExecutionLevel user
InstallDir "$LOCALAPPDATA\Programs\WebTessl"
ShowInstDetails show
ShowUninstDetails show

Page directory
Page instfiles
UninstPage uninstConfirm
UninstPage instfiles

Section "WebTessl"
  SetOutPath "$INSTDIR"
  File "${PROGRAM_DIR}/webtessl.exe"
  File "${PROGRAM_DIR}/tessel.exe"
  SetOutPath "$INSTDIR\webroot"
  File /r "${PROGRAM_DIR}/webroot/*.*"
  ; Shortcuts start in the install folder.
  SetOutPath "$INSTDIR"

  WriteRegStr HKCU "${TESSEL_KEY}" "InstallPath" "$INSTDIR"

  CreateDirectory "${MENU_FOLDER}"
  CreateShortcut "${MENU_FOLDER}\WebTessl server.lnk" "$INSTDIR\webtessl.exe" "" \
      "$INSTDIR\webtessl.exe" 0 SW_SHOWNORMAL "" "Runs the WebTessl server (Ctrl+W, then Enter, stops it)"
  WriteINIStr "${MENU_FOLDER}\WebTessl search page.url" "InternetShortcut" "URL" "${PAGE_URL}"
  CreateShortcut "${MENU_FOLDER}\Uninstall WebTessl.lnk" "$INSTDIR\uninstall.exe"

  WriteUninstaller "$INSTDIR\uninstall.exe"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayName" "WebTessl"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "Publisher" "WebTessl maintainers"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
  WriteRegStr HKCU "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoRepair" 1
SectionEnd

Section "Uninstall"
  ; Only what the installer put there: files a user added to the folder stay, and so does it.
  Delete "$INSTDIR\webtessl.exe"
  Delete "$INSTDIR\tessel.exe"
  RMDir /r "$INSTDIR\webroot"
  Delete "$INSTDIR\uninstall.exe"
  RMDir "$INSTDIR"

  Delete "${MENU_FOLDER}\WebTessl server.lnk"
  Delete "${MENU_FOLDER}\WebTessl search page.url"
  Delete "${MENU_FOLDER}\Uninstall WebTessl.lnk"
  RMDir "${MENU_FOLDER}"

  ; The install path stays when it names another folder: another installation of tessel owns it.
  ReadRegStr $0 HKCU "${TESSEL_KEY}" "InstallPath"
  StrCmp $0 "$INSTDIR" 0 keep_install_path
    DeleteRegValue HKCU "${TESSEL_KEY}" "InstallPath"
  keep_install_path:
  DeleteRegKey /ifempty HKCU "${TESSEL_KEY}"
  DeleteRegKey /ifempty HKCU "Software\Nalo"
  DeleteRegKey HKCU "${UNINSTALL_KEY}"
SectionEnd
