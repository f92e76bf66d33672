; Kelmar's Windows setup: installs KELMAR32.EXE for the current user alone, with a Start-menu shortcut,
; an optional one in the Startup folder and an entry under "Apps and features"; its uninstaller keeps
; the user's menus. setup.cmake builds it with makensis, handing in VERSION, FILEVERSION, EXE, GUIDE,
; LICENCE, LICENCE_PAGE, ICON, WIZARD, CHECKS and OUTFILE. The setup is a Unicode one, so that every
; user name and folder works; it needs Windows 2000 or later (Windows 95, 98 and Me take the ZIP). The
; shipped setup is 32-bit; with AMD64 defined the same script makes a 64-bit setup that the tests run
; under 64-bit Wine.

Unicode true
!ifdef AMD64
  Target amd64-unicode
!endif
SetCompressor /SOLID lzma
RequestExecutionLevel user  ; nothing here needs an administrator
Name "Kelmar"
OutFile "${OUTFILE}"
BrandingText "Kelmar ${VERSION}"
AllowSkipFiles off  ; a file that cannot be written stops the install; it is never left out
VIProductVersion ${FILEVERSION}
VIAddVersionKey ProductName "Kelmar"
VIAddVersionKey ProductVersion "${VERSION}"
VIAddVersionKey FileVersion "${VERSION}"
VIAddVersionKey FileDescription "Kelmar Setup"
VIAddVersionKey CompanyName "The Kelmar developers"
VIAddVersionKey LegalCopyright "MIT licence, the Kelmar developers"

!define KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Kelmar"
!define LINK "Kelmar.lnk"
; KELMENUS.EXE (its path handed in as KELMENUS) makes the menus from the Start menu; its shortcut:
!define MENUS_LINK "Make Kelmar's menus from the Start menu.lnk"

!include MUI2.nsh
!include LogicLib.nsh
!include Sections.nsh
!include FileFunc.nsh
!include StrFunc.nsh
!include WinCore.nsh
${StrStr}
${UnStrStr}

Var OldDir      ; the folder of the install found in the registry, empty when there is none
Var OldVersion  ; its version
Var MadeDir     ; 1 when this run made the install folder
Var MovedMenus  ; 1 when this run copied apps.dat from $OldDir
Var Told        ; 1 once the user has been told why the install stopped
Var Why         ; why the setup or the uninstaller stopped, for its last page
Var Asked       ; the bars already asked to end, as " handle handle "
Var Shown       ; Kelmar's boxes already brought to the front, likewise
Var Blocker     ; the title of a box of Kelmar's that waits for an answer, or empty
Var Closed      ; 1 when this run asked the installed Kelmar to end: it starts again afterwards
Var Welcome     ; the welcome page's text
Var FolderText  ; the folder page's text
Var Finish      ; the finish page's text
Var Kept        ; the uninstaller's last words: what stays, and where

; ---- Pages ----
!define MUI_ICON "${ICON}"
; The uninstaller's icon too: the default one alone would add more than the whole of Kelmar compressed.
!define MUI_UNICON "${ICON}"
!define MUI_ABORTWARNING
!define MUI_FINISHPAGE_NOREBOOTSUPPORT
!define MUI_COMPONENTSPAGE_NODESC
; Flat 16-colour pictures of Kelmar's own (tools/setup_images.py): with the default ones the setup
; would pass 160 KiB. The check boxes are part of the setup's program, which is not compressed.
!define MUI_WELCOMEFINISHPAGE_BITMAP "${WIZARD}"
!define MUI_COMPONENTSPAGE_CHECKBITMAP "${CHECKS}"

!define MUI_WELCOMEPAGE_TEXT "$Welcome"
!insertmacro MUI_PAGE_WELCOME
; The MIT licence asks nothing of the user who installs Kelmar, so the page informs and goes on with Next.
!define MUI_PAGE_HEADER_TEXT "Licence"
!define MUI_PAGE_HEADER_SUBTEXT "Kelmar is free software under the MIT licence."
!define MUI_LICENSEPAGE_TEXT_TOP "Press Page Down to see the rest of the licence."
!define MUI_LICENSEPAGE_TEXT_BOTTOM "The licence lets you use, copy, change and pass on Kelmar. Click Next to continue."
!define MUI_LICENSEPAGE_BUTTON "$(^NextBtn)"
!insertmacro MUI_PAGE_LICENSE "${LICENCE_PAGE}"
!define MUI_PAGE_CUSTOMFUNCTION_LEAVE LeaveFolderPage
!define MUI_DIRECTORYPAGE_TEXT_TOP "$FolderText"
!insertmacro MUI_PAGE_DIRECTORY
!define MUI_PAGE_HEADER_TEXT "Choose Shortcuts"
!define MUI_PAGE_HEADER_SUBTEXT "Choose how you would like to start Kelmar."
!define MUI_COMPONENTSPAGE_TEXT_TOP "Kelmar always gets a shortcut in your Start menu. It can also start each time you log on to Windows."
!define MUI_COMPONENTSPAGE_TEXT_COMPLIST "Shortcuts:"
!insertmacro MUI_PAGE_COMPONENTS
; The page after a stop says why.
!define MUI_INSTFILESPAGE_ABORTHEADER_SUBTEXT "$Why"
!insertmacro MUI_PAGE_INSTFILES
!define MUI_FINISHPAGE_TEXT "$Finish"
!define MUI_FINISHPAGE_RUN
!define MUI_FINISHPAGE_RUN_TEXT "Start Kelmar now"
!define MUI_FINISHPAGE_RUN_FUNCTION StartKelmar
!insertmacro MUI_PAGE_FINISH

!insertmacro MUI_UNPAGE_CONFIRM
!define MUI_PAGE_HEADER_TEXT "Your Menus"
!define MUI_PAGE_HEADER_SUBTEXT "Choose whether to keep your menus."
!define MUI_COMPONENTSPAGE_TEXT_TOP "Your menus (apps.dat in $INSTDIR) stay, so that Kelmar finds them again if you install it there once more. To delete them as well, tick the box below."
!define MUI_COMPONENTSPAGE_TEXT_COMPLIST " "
!define MUI_PAGE_CUSTOMFUNCTION_SHOW un.HideSpaceRequired
!insertmacro MUI_UNPAGE_COMPONENTS
; No finish page (the plug-in that its pages need would add 6 KB to the setup): the last page stays
; open and says where the menus are kept.
!define MUI_UNFINISHPAGE_NOAUTOCLOSE
!define MUI_INSTFILESPAGE_FINISHHEADER_SUBTEXT "$Kept"
!ifndef MUI_INSTFILESPAGE_ABORTHEADER_SUBTEXT  ; NSIS 3.08's MUI keeps the setup's; later ones may not
  !define MUI_INSTFILESPAGE_ABORTHEADER_SUBTEXT "$Why"
!endif
!insertmacro MUI_UNPAGE_INSTFILES

!insertmacro MUI_LANGUAGE "English"

; ---- Shared by the setup and the uninstaller ----

!macro SHARED un find
; $R0 is a window; $R5 becomes 1 when it belongs to the Kelmar installed in $INSTDIR (or, while the
; setup moves Kelmar, in $OldDir), 0 otherwise. The process's own program file is compared, so that
; a copy of Kelmar started from another folder is left alone.
Function ${un}IsOurs
  StrCpy $R5 0
  System::Call 'user32::GetWindowThreadProcessId(p R0, *i .R6)'
  ; PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, as GetModuleFileNameEx needs them from Windows 2000 on.
  System::Call 'kernel32::OpenProcess(i 0x410, i 0, i R6) p .R7'
  ${If} $R7 != 0
    System::Call 'psapi::GetModuleFileNameExW(p R7, p 0, t .R8, i ${NSIS_MAX_STRLEN}) i .R6'
    System::Call 'kernel32::CloseHandle(p R7)'
    ${If} $R6 > 0
      System::Call 'kernel32::GetLongPathNameW(t R8, t .R8, i ${NSIS_MAX_STRLEN})'
      ${If} $R8 == "$INSTDIR\KELMAR32.EXE"
      ${OrIf} $R8 == "$OldDir\KELMAR32.EXE"
        StrCpy $R5 1
      ${EndIf}
    ${EndIf}
  ${EndIf}
FunctionEnd

; Asks each bar of our Kelmar to end the way its own Exit ends it, by WM_CLOSE, so that it saves the
; user's menus; each bar is asked once. $R3 becomes 1 while a bar of ours is left.
Function ${un}AskEachBar
  StrCpy $R3 0
  StrCpy $R1 0  ; the search goes on after this window
  ${Do}
    FindWindow $R0 "KelmarClass" "" 0 $R1
    ${If} $R0 = 0
      ${Break}
    ${EndIf}
    StrCpy $R1 $R0
    Call ${un}IsOurs
    ${If} $R5 = 1
      ${${find}} $R2 $Asked " $R0 "
      ${If} $R2 == ""
        StrCpy $Asked "$Asked$R0 "
        StrCpy $Closed 1
        SendMessage $R0 ${WM_CLOSE} 0 0 /TIMEOUT=5000
      ${EndIf}
      IsWindow $R0 0 +2
      StrCpy $R3 1
    ${EndIf}
  ${Loop}
FunctionEnd

; Finds the boxes that our Kelmar shows (a message, User Menus, Options...): such a box keeps it from
; ending until the user answers it. Each is brought in front of the setup once ($R9 is then 1), and
; $Blocker becomes the title of one of them, or empty when there is none.
Function ${un}ShowBoxes
  StrCpy $Blocker ""
  StrCpy $R9 0
  StrCpy $R1 0
  ${Do}
    FindWindow $R0 "#32770" "" 0 $R1
    ${If} $R0 = 0
      ${Break}
    ${EndIf}
    StrCpy $R1 $R0
    System::Call 'user32::IsWindowVisible(p R0) i .R2'
    ${If} $R2 != 0
      Call ${un}IsOurs
      ${If} $R5 = 1
        System::Call 'user32::GetWindowTextW(p R0, t .R2, i 256)'
        StrCpy $Blocker $R2
        ${${find}} $R2 $Shown " $R0 "
        ${If} $R2 == ""
          StrCpy $Shown "$Shown$R0 "
          StrCpy $R9 1
          System::Call 'user32::SetForegroundWindow(p R0)'
        ${EndIf}
      ${EndIf}
    ${EndIf}
  ${Loop}
FunctionEnd

; $R2 is 1 while the installed KELMAR32.EXE runs: Windows refuses to open a running program for writing.
Function ${un}ExeRuns
  StrCpy $R2 0
  ${If} ${FileExists} "$INSTDIR\KELMAR32.EXE"
    ClearErrors
    FileOpen $R6 "$INSTDIR\KELMAR32.EXE" a
    ${If} ${Errors}
      StrCpy $R2 1
    ${Else}
      FileClose $R6
    ${EndIf}
  ${EndIf}
  ${If} $OldDir != ""
  ${AndIf} ${FileExists} "$OldDir\KELMAR32.EXE"
    ClearErrors
    FileOpen $R6 "$OldDir\KELMAR32.EXE" a
    ${If} ${Errors}
      StrCpy $R2 1
    ${Else}
      FileClose $R6
    ${EndIf}
  ${EndIf}
FunctionEnd

; Ends the installed Kelmar and says what it waits for: ten seconds, or half a minute for the user
; to answer a box of Kelmar's. When Kelmar has not ended, the user may answer it and retry (its box
; comes to the front again), or cancel: then the error flag is set, $Why says why, and nothing has
; been changed.
Function ${un}EndKelmar
  StrCpy $Asked " "
  retry:
  StrCpy $Shown " "
  StrCpy $R4 0
  ${Do}
    Call ${un}AskEachBar
    Call ${un}ShowBoxes
    Call ${un}ExeRuns
    ${If} $R3 = 0
    ${AndIf} $R2 = 0
    ${AndIf} $Blocker == ""
      ClearErrors
      Return
    ${EndIf}
    ${If} $R4 = 0
      DetailPrint "Closing Kelmar..."
    ${EndIf}
    ${If} $R9 = 1
      DetailPrint 'Closing Kelmar: please answer its window "$Blocker" first.'
    ${EndIf}
    StrCpy $R5 40
    ${If} $Blocker != ""
    ${AndIfNot} ${Silent}
      StrCpy $R5 120
    ${EndIf}
    IntOp $R4 $R4 + 1
    ${If} $R4 > $R5
      ${Break}
    ${EndIf}
    Sleep 250
  ${Loop}
  ${If} $Blocker != ""
    StrCpy $Why 'Kelmar could not close: its window "$Blocker" waits for your answer.'
    MessageBox MB_RETRYCANCEL|MB_ICONEXCLAMATION '$Why$\r$\n$\r$\nAnswer or close that window, then click Retry. Cancel stops here and changes nothing.' /SD IDCANCEL IDRETRY retry
  ${Else}
    StrCpy $Why "Kelmar is still running and did not close when asked."
    MessageBox MB_RETRYCANCEL|MB_ICONEXCLAMATION '$Why$\r$\n$\r$\nEnd it with Exit Kelmar in its "§" menu (or Ctrl+X), then click Retry. Cancel stops here and changes nothing.' /SD IDCANCEL IDRETRY retry
  ${EndIf}
  StrCpy $Why "$Why Nothing was changed."
  DetailPrint $Why
  SetErrors
FunctionEnd
!macroend
!insertmacro SHARED "" StrStr
!insertmacro SHARED "un." UnStrStr

; ---- The setup ----

; Makes the folder in $R9 whole: "/" is read as "\", a doubled "\" as one, "." and ".." are resolved,
; a trailing "\" goes, and the part that exists is written as Windows names it (no short names). Sets
; the error flag and $Why when it cannot be a folder of Kelmar's: a relative or device path, a name
; that Windows forbids, or one too long for Kelmar's files.
Function Normalize
  Push $0
  Push $1
  Push $2
  Push $3
  Push $4
  Push $5
  Push $6
  StrCpy $1 $R9
  StrCpy $2 $1 1
  ${If} $2 == '"'
    StrCpy $1 $1 "" 1
    StrCpy $2 $1 1 -1
    ${If} $2 == '"'
      StrCpy $1 $1 -1
    ${EndIf}
  ${EndIf}
  StrCpy $2 $1 4
  StrCpy $3 $2 1 2
  StrCpy $2 $2 2
  ${If} $2 == "\\"
  ${OrIf} $2 == "//"
    ${If} $3 == "?"
    ${OrIf} $3 == "."
      StrCpy $Why "it is a device path, not a folder."
      Goto bad
    ${EndIf}
  ${EndIf}
  ; The separators, and only characters that Windows allows in names.
  StrCpy $0 ""
  StrCpy $3 0
  ${Do}
    StrCpy $2 $1 1 $3
    ${If} $2 == ""
      ${Break}
    ${EndIf}
    IntOp $3 $3 + 1
    ${If} $2 == "/"
      StrCpy $2 "\"
    ${EndIf}
    ${If} $2 == "\"
      StrCpy $4 $0 1 -1
      ${If} $4 == "\"
      ${AndIf} $0 != "\"  ; the two that begin \\server\share
        ${Continue}
      ${EndIf}
    ${ElseIf} $2 == ":"
      ${If} $3 != 2
        Goto bad_char
      ${EndIf}
    ${ElseIf} $2 == "<"
    ${OrIf} $2 == ">"
    ${OrIf} $2 == '"'
    ${OrIf} $2 == "|"
    ${OrIf} $2 == "?"
    ${OrIf} $2 == "*"
      Goto bad_char
    ${EndIf}
    StrCpy $0 "$0$2"
  ${Loop}
  ; The root: a drive, C:, or a share, \\server\share; $3 is where the names after it begin.
  StrCpy $2 $0 2
  ${If} $2 == "\\"
    StrCpy $3 2
    StrCpy $5 0  ; backslashes after the server's name
    ${Do}
      StrCpy $2 $0 1 $3
      ${If} $2 == ""
        ${Break}
      ${EndIf}
      ${If} $2 == "\"
        IntOp $5 $5 + 1
        ${If} $5 = 2
          ${Break}
        ${EndIf}
      ${EndIf}
      IntOp $3 $3 + 1
    ${Loop}
    StrCpy $4 $0 $3
    StrCpy $2 $4 1 -1
    ${If} $5 = 0
    ${OrIf} $2 == "\"
      Goto relative
    ${EndIf}
  ${Else}
    StrCpy $2 $0 1
    ${StrStr} $4 "ABCDEFGHIJKLMNOPQRSTUVWXYZ" $2
    StrCpy $5 $0 2 1
    ${If} $2 == ""
    ${OrIf} $4 == ""
    ${OrIf} $5 != ":\"
      Goto relative
    ${EndIf}
    StrCpy $3 2
    StrCpy $4 $0 2
  ${EndIf}
  ; Each name after the root: "." and ".." resolved, the names that Windows keeps for devices refused.
  StrCpy $1 "$0\" "" $3
  StrCpy $6 $4  ; the root, above which ".." does not go
  StrCpy $0 $4
  StrCpy $3 1
  StrCpy $5 ""  ; the name so far
  ${Do}
    StrCpy $2 $1 1 $3
    ${If} $2 == ""
      ${Break}
    ${EndIf}
    IntOp $3 $3 + 1
    ${If} $2 != "\"
      StrCpy $5 "$5$2"
      ${Continue}
    ${EndIf}
    ${If} $5 == ".."
      ${If} $0 != $6
        ${GetParent} $0 $0
      ${EndIf}
    ${ElseIf} $5 != "."
    ${AndIf} $5 != ""
      StrCpy $2 $5 1 -1
      ${If} $2 == "."
      ${OrIf} $2 == " "
        StrCpy $Why 'the name "$5" ends in a dot or a space, which Windows does not keep.'
        Goto bad
      ${EndIf}
      ; The names kept for devices, bare or with an extension.
      ${StrStr} $2 $5 "."
      StrLen $4 $2
      StrLen $2 $5
      IntOp $4 $2 - $4
      StrCpy $2 $5 $4
      ${StrStr} $4 $2 " "
      ${If} $4 == ""
        ${StrStr} $4 " CON PRN AUX NUL COM1 COM2 COM3 COM4 COM5 COM6 COM7 COM8 COM9 LPT1 LPT2 LPT3 LPT4 LPT5 LPT6 LPT7 LPT8 LPT9 " " $2 "
        ${If} $4 != ""
          StrCpy $Why 'Windows keeps the name "$2" for a device.'
          Goto bad
        ${EndIf}
      ${EndIf}
      StrCpy $0 "$0\$5"
    ${EndIf}
    StrCpy $5 ""
  ${Loop}
  ${If} $0 == $6
    StrCpy $Why "Kelmar needs a folder of its own, not the top of a drive or share."
    Goto bad
  ${EndIf}
  ; The part that exists, as Windows names it.
  StrCpy $1 $0
  StrCpy $2 ""  ; the names below it
  ${DoUntil} ${FileExists} "$1\*.*"
    ${If} $1 == $6
      ${Break}
    ${EndIf}
    ${GetFileName} $1 $3
    StrCpy $2 "\$3$2"
    ${GetParent} $1 $1
  ${Loop}
  System::Call 'kernel32::GetLongPathNameW(t "$1\", t .r3, i ${NSIS_MAX_STRLEN}) i .r4'
  ${If} $4 > 0
  ${AndIf} $4 < ${NSIS_MAX_STRLEN}
    StrCpy $4 $3 1 -1
    ${If} $4 == "\"
      StrCpy $3 $3 -1
    ${EndIf}
    StrCpy $0 "$3$2"
  ${EndIf}
  ; Kelmar's longest file name there, Uninstall.exe.new, must fit in the 259 characters of a path.
  StrLen $2 $0
  ${If} $2 > 240
    StrCpy $Why "it is longer than Windows allows for Kelmar's files in it."
    Goto bad
  ${EndIf}
  StrCpy $R9 $0
  ClearErrors
  Goto done
bad_char:
  StrCpy $Why 'Windows does not allow < > : " | ? * in the names of folders.'
  Goto bad
relative:
  StrCpy $Why "it is not a whole path. Please give the whole path, beginning with a drive such as C:\ or with \\server\share."
bad:
  SetErrors
done:
  Pop $6
  Pop $5
  Pop $4
  Pop $3
  Pop $2
  Pop $1
  Pop $0
FunctionEnd

; Sets the error flag when files cannot be made in $INSTDIR: tried in the folder, or where it does not
; exist yet, in the nearest folder above it that does.
Function CheckFolder
  StrCpy $R0 $INSTDIR
  ${DoUntil} ${FileExists} "$R0\*.*"
    ${GetParent} $R0 $R0
    ${If} $R0 == ""
      SetErrors
      Return
    ${EndIf}
  ${Loop}
  ; Wine names a file here without making it when the folder refuses it: the file itself must be there.
  GetTempFileName $R1 $R0
  ${IfNot} ${FileExists} $R1
    SetErrors
    Return
  ${EndIf}
  Delete $R1
  ClearErrors
FunctionEnd

; The folder typed or chosen is made whole and must be one where Kelmar can save its menus. Choosing
; another folder than the installed Kelmar's moves Kelmar there, which the user confirms.
Function LeaveFolderPage
  ; The folder as typed: NSIS drops from $INSTDIR what it takes for bad characters.
  System::Call 'user32::GetWindowTextW(p $mui.DirectoryPage.Directory, t .R9, i ${NSIS_MAX_STRLEN})'
  StrCpy $R8 $R9
  Call Normalize
  ${If} ${Errors}
    MessageBox MB_OK|MB_ICONEXCLAMATION "$R8 cannot be Kelmar's folder: $Why"
    Abort
  ${EndIf}
  ; The page hands its text to $INSTDIR once more after this function: it shows the whole form.
  SendMessage $mui.DirectoryPage.Directory ${WM_SETTEXT} 0 "STR:$R9"
  StrCpy $INSTDIR $R9
  Call CheckFolder
  ${If} ${Errors}
    MessageBox MB_OK|MB_ICONEXCLAMATION "You cannot save files in $INSTDIR.$\r$\n$\r$\nKelmar keeps your menus in the folder it is installed in: please choose another folder."
    Abort
  ${EndIf}
  ${If} $OldDir != ""
  ${AndIf} $OldDir != $INSTDIR
    MessageBox MB_OKCANCEL|MB_ICONQUESTION "Kelmar is installed in $OldDir.$\r$\n$\r$\nSetup will move it to $INSTDIR: your menus come along (unless that folder has its own apps.dat), and the program files and shortcuts of the old folder are removed." IDOK +2
    Abort
  ${EndIf}
  Call SetTexts
FunctionEnd

; Removes what a stopped install left, so that the machine is as it was: the new files that waited
; beside the old ones, the menus copied for a move, and the install folder when this run made it.
Function .onInstFailed
  Delete "$INSTDIR\KELMAR32.EXE.new"
  Delete "$INSTDIR\KELMENUS.EXE.new"
  Delete "$INSTDIR\README.TXT.new"
  Delete "$INSTDIR\LICENSE.TXT.new"
  Delete "$INSTDIR\Uninstall.exe.new"
  ${If} $MovedMenus = 1
    Delete "$INSTDIR\apps.dat"
  ${EndIf}
  ${If} $MadeDir = 1
    RMDir $INSTDIR
  ${EndIf}
  ${If} $Told != 1
    StrCpy $Why "Setup could not write Kelmar's files in $INSTDIR; the disk may be full. Nothing was changed."
    DetailPrint $Why
    MessageBox MB_OK|MB_ICONSTOP $Why /SD IDOK
  ${EndIf}
FunctionEnd

; Started as its shortcuts start it: in the install folder, where its apps.dat is.
Function StartKelmar
  SetOutPath $INSTDIR
  Exec '"$INSTDIR\KELMAR32.EXE"'
FunctionEnd

; An update that closed Kelmar starts it again. The finish page offers that itself, ticked; a silent
; update has none.
Function .onInstSuccess
  ${If} $Closed = 1
  ${AndIf} ${Silent}
    Call StartKelmar
  ${EndIf}
FunctionEnd

; $0 is the name of a file in $INSTDIR whose new version waits as $0.new; sets the error flag when it
; could not take the old one's place, which then stays.
Function PutInPlace
  Delete "$INSTDIR\$0.old"
  Rename "$INSTDIR\$0" "$INSTDIR\$0.old"
  ClearErrors
  Rename "$INSTDIR\$0.new" "$INSTDIR\$0"
  ${If} ${Errors}
    Rename "$INSTDIR\$0.old" "$INSTDIR\$0"
    SetErrors
  ${Else}
    Delete "$INSTDIR\$0.old"
  ${EndIf}
FunctionEnd

!macro PUT_IN_PLACE name
  StrCpy $0 "${name}"
  Call PutInPlace
  ${If} ${Errors}
    StrCpy $Told 1
    StrCpy $Why "Setup could not replace $INSTDIR\${name}."
    MessageBox MB_OK|MB_ICONSTOP $Why /SD IDOK
    Abort
  ${EndIf}
!macroend

; Removes the program files of the folder that Kelmar moved from and, when they came along, its menus;
; says what it could not remove.
Function LeaveOldFolder
  Delete "$OldDir\KELMAR32.EXE"
  Delete "$OldDir\KELMENUS.EXE"
  Delete "$OldDir\README.TXT"
  Delete "$OldDir\LICENSE.TXT"
  Delete "$OldDir\Uninstall.exe"
  ${If} $MovedMenus = 1
    Delete "$OldDir\apps.dat"
    Delete "$OldDir\kel*.tmp"
  ${ElseIf} ${FileExists} "$OldDir\apps.dat"
    DetailPrint "$INSTDIR has menus of its own, so Kelmar uses them; the old ones stay in $OldDir\apps.dat."
  ${EndIf}
  RMDir $OldDir
  ${If} ${FileExists} "$OldDir\KELMAR32.EXE"
  ${OrIf} ${FileExists} "$OldDir\Uninstall.exe"
    DetailPrint "Setup could not remove the old program files in $OldDir: delete them by hand."
  ${EndIf}
FunctionEnd

Section "-Program files" SecProgram
  ${If} $OldDir != ""
  ${AndIf} $OldDir != $INSTDIR
    DetailPrint "Moving Kelmar from $OldDir to $INSTDIR"
  ${EndIf}
  Call EndKelmar
  ${If} ${Errors}
    StrCpy $Told 1
    Abort
  ${EndIf}
  Call CheckFolder
  ${If} ${Errors}
    StrCpy $Told 1
    StrCpy $Why "You cannot save files in $INSTDIR, so Kelmar cannot keep its menus there. Nothing was changed."
    MessageBox MB_OK|MB_ICONSTOP $Why /SD IDOK
    Abort
  ${EndIf}
  ${IfNot} ${FileExists} "$INSTDIR\*.*"
    StrCpy $MadeDir 1
  ${EndIf}
  SetOutPath $INSTDIR
  ; A move brings the menus along, unless the new folder has its own.
  ${If} $OldDir != ""
  ${AndIf} $OldDir != $INSTDIR
  ${AndIf} ${FileExists} "$OldDir\apps.dat"
  ${AndIfNot} ${FileExists} "$INSTDIR\apps.dat"
    ClearErrors
    CopyFiles /SILENT /FILESONLY "$OldDir\apps.dat" $INSTDIR
    StrCpy $MovedMenus 1
    ${If} ${Errors}
    ${OrIfNot} ${FileExists} "$INSTDIR\apps.dat"
      Abort
    ${EndIf}
  ${EndIf}
  ; The new files are written beside the old ones first, so that a full disk leaves the old install as
  ; it was; only then does each take its old one's place.
  File "/oname=KELMAR32.EXE.new" "${EXE}"
  File "/oname=KELMENUS.EXE.new" "${KELMENUS}"
  File "/oname=README.TXT.new" "${GUIDE}"
  File "/oname=LICENSE.TXT.new" "${LICENCE}"
  ClearErrors
  WriteUninstaller "$INSTDIR\Uninstall.exe.new"
  ${If} ${Errors}
    Abort
  ${EndIf}
  !insertmacro PUT_IN_PLACE KELMAR32.EXE
  !insertmacro PUT_IN_PLACE KELMENUS.EXE
  !insertmacro PUT_IN_PLACE README.TXT
  !insertmacro PUT_IN_PLACE LICENSE.TXT
  !insertmacro PUT_IN_PLACE Uninstall.exe
SectionEnd

; Every shortcut starts the installed EXE in the install folder ($OUTDIR becomes its "Start in"), so
; that the menus always live in one apps.dat beside the EXE.
!macro SHORTCUT folder
  CreateDirectory "${folder}"
  SetOutPath $INSTDIR
  ClearErrors
  CreateShortcut "${folder}\${LINK}" "$INSTDIR\KELMAR32.EXE" "" "$INSTDIR\KELMAR32.EXE" 0 SW_SHOWNORMAL "" \
      "A thin bar of application menus across the top of the screen"
  ${If} ${Errors}
    MessageBox MB_OK|MB_ICONEXCLAMATION "Setup could not make the shortcut ${folder}\${LINK}." /SD IDOK
  ${EndIf}
!macroend

Section "Kelmar in the Start menu" SecStartMenu
  SectionIn RO
  !insertmacro SHORTCUT $SMPROGRAMS
  ; KELMENUS.EXE makes the menus again from the Start menu, keeping the ones before in apps.dat.bak.
  CreateShortcut "$SMPROGRAMS\${MENUS_LINK}" "$INSTDIR\KELMENUS.EXE" "" "$INSTDIR\KELMAR32.EXE" 0 SW_SHOWNORMAL "" \
      "Makes Kelmar's menus again from the programs in your Start menu"
SectionEnd

Section "Start Kelmar when Windows starts" SecStartup
  !insertmacro SHORTCUT $SMSTARTUP
SectionEnd

; ---- Menus from the Start menu ----
; A new install's first menus come from the user's Start menu; an update, a repair or a move keeps the
; apps.dat the folder has.
Section "-Menus from the Start menu"
  ${IfNot} ${FileExists} "$INSTDIR\apps.dat"
    DetailPrint "Making Kelmar's menus from your Start menu..."
    ClearErrors
    ExecWait '"$INSTDIR\KELMENUS.EXE" /S' $0
    ${If} ${Errors}
    ${OrIf} $0 != 0
      DetailPrint "No menus were made from your Start menu: Kelmar starts with its sample menus."
    ${EndIf}
  ${EndIf}
SectionEnd
; ---- End of the menus from the Start menu ----

Section "-Registration"
  ${IfNot} ${SectionIsSelected} ${SecStartup}
    Delete "$SMSTARTUP\${LINK}"
  ${EndIf}
  WriteRegStr HKCU "${KEY}" "DisplayName" "Kelmar"
  WriteRegStr HKCU "${KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKCU "${KEY}" "Publisher" "The Kelmar developers"
  WriteRegStr HKCU "${KEY}" "DisplayIcon" "$INSTDIR\KELMAR32.EXE"
  WriteRegStr HKCU "${KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKCU "${KEY}" "UninstallString" '"$INSTDIR\Uninstall.exe"'
  WriteRegStr HKCU "${KEY}" "QuietUninstallString" '"$INSTDIR\Uninstall.exe" /S'
  SectionGetSize ${SecProgram} $0
  WriteRegDWORD HKCU "${KEY}" "EstimatedSize" $0
  WriteRegDWORD HKCU "${KEY}" "NoModify" 1
  WriteRegDWORD HKCU "${KEY}" "NoRepair" 1
  ; The old folder goes only once the new install is whole and registered.
  ${If} $OldDir != ""
  ${AndIf} $OldDir != $INSTDIR
    Call LeaveOldFolder
  ${EndIf}
SectionEnd

; The welcome, folder and finish pages' texts for a new install, an update, a repair or a move.
Function SetTexts
  StrCpy $FolderText "Kelmar keeps your menus (the file apps.dat) in the folder it is installed in, so choose a folder where you can save files. Click Next to continue."
  StrCpy $Finish "Kelmar is installed in $INSTDIR, and you can find it in your Start menu.$\r$\n$\r$\nIt keeps your menus in apps.dat in that folder."
  ${If} $OldDir == ""
    StrCpy $Welcome "Setup will install Kelmar ${VERSION}, a thin bar of application menus across the top of the screen.$\r$\n$\r$\nKelmar is installed for your user account only, so you do not need to be an administrator."
  ${ElseIf} $OldDir != $INSTDIR
    StrCpy $Welcome "Kelmar is installed in $OldDir. Setup will move it to $INSTDIR and install version ${VERSION} there.$\r$\n$\r$\nYour menus come along, unless the new folder has its own. The old folder's program files and shortcuts are removed."
    StrCpy $Finish "Kelmar has moved to $INSTDIR, and you can find it in your Start menu.$\r$\n$\r$\nIt keeps your menus in apps.dat in that folder."
  ${Else}
    ${If} $OldVersion == "${VERSION}"
      StrCpy $Welcome "Kelmar ${VERSION} is already installed in $OldDir. Setup will repair it: it installs its program files, shortcuts and entry under Apps and features again."
    ${ElseIf} $OldVersion != ""
      StrCpy $Welcome "Setup will update Kelmar in $OldDir from version $OldVersion to version ${VERSION}."
    ${Else}
      StrCpy $Welcome "Setup will update Kelmar in $OldDir to version ${VERSION}."
    ${EndIf}
    StrCpy $Welcome "$Welcome$\r$\n$\r$\nYour menus and options are kept. If Kelmar is running, Setup asks it to close first, so that it saves your menus, and starts it again afterwards."
  ${EndIf}
  ${If} $OldDir != ""
    StrCpy $FolderText "Kelmar is installed in $OldDir, with your menus (apps.dat). To move Kelmar and your menus, choose another folder where you can save files. Click Next to continue."
  ${EndIf}
  StrCpy $Welcome "$Welcome$\r$\n$\r$\nClick Next to continue."
FunctionEnd

Function .onInit
  ReadRegStr $OldDir HKCU "${KEY}" "InstallLocation"
  ReadRegStr $OldVersion HKCU "${KEY}" "DisplayVersion"
  StrCpy $R9 $OldDir
  Call Normalize
  StrCpy $OldDir $R9
  ${If} ${Errors}
  ${OrIfNot} ${FileExists} "$OldDir\KELMAR32.EXE"
    StrCpy $OldDir ""
  ${EndIf}
  ; /D= as typed: NSIS drops from $INSTDIR what it takes for bad characters, "/" among them.
  System::Call 'kernel32::GetCommandLineW() t .r0'
  ${StrStr} $1 $0 " /D="
  StrCpy $2 $1 4
  ${If} $1 != ""
  ${AndIf} $2 S== " /D="
    StrCpy $R9 $1 "" 4
  ${ElseIf} $OldDir != ""
    StrCpy $R9 $OldDir
  ${Else}
    ; The per-user programs folder. Windows before 7 does not name one, so it is made where Windows 7
    ; puts it; a Windows without per-user application data is offered Program Files.
    GetKnownFolderPath $R9 ${FOLDERID_UserProgramFiles}
    ${If} $R9 != ""
      StrCpy $R9 "$R9\Kelmar"
    ${ElseIf} $LOCALAPPDATA != ""
      StrCpy $R9 "$LOCALAPPDATA\Programs\Kelmar"
    ${Else}
      StrCpy $R9 "$PROGRAMFILES\Kelmar"
    ${EndIf}
  ${EndIf}
  StrCpy $1 $R9
  Call Normalize
  ${If} ${Errors}
    MessageBox MB_OK|MB_ICONSTOP "$1 cannot be Kelmar's folder: $Why" /SD IDOK
    SetErrorLevel 2
    Quit
  ${EndIf}
  StrCpy $INSTDIR $R9
  ${If} $OldDir != ""
    ; An update keeps the user's choice about starting with Windows.
    ${IfNot} ${FileExists} "$SMSTARTUP\${LINK}"
      !insertmacro UnselectSection ${SecStartup}
    ${EndIf}
  ${EndIf}
  Call SetTexts
  StrCpy $Why "Setup stopped before the end."
  ; The uninstaller is part of the install: its size counts in the folder page and under Apps and features.
  InitPluginsDir
  WriteUninstaller "$PLUGINSDIR\Uninstall.exe"
  FileOpen $0 "$PLUGINSDIR\Uninstall.exe" r
  FileSeek $0 0 END $1
  FileClose $0
  Delete "$PLUGINSDIR\Uninstall.exe"
  IntOp $1 $1 + 1023
  IntOp $1 $1 / 1024
  SectionGetSize ${SecProgram} $0
  IntOp $0 $0 + $1
  SectionSetSize ${SecProgram} $0
FunctionEnd

; ---- The uninstaller ----

Section "-un.Program files"
  Call un.EndKelmar
  ${If} ${Errors}
    Abort
  ${EndIf}
  ; The shortcuts and the entry go first, so that they go even when a file cannot be removed. They
  ; belong to the install that the entry names; an uninstaller left in another folder removes only its
  ; own files, unless that install is gone.
  ReadRegStr $0 HKCU "${KEY}" "InstallLocation"
  System::Call 'kernel32::GetLongPathNameW(t r0, t .r0, i ${NSIS_MAX_STRLEN})'
  System::Call 'kernel32::GetLongPathNameW(t "$INSTDIR", t .r1, i ${NSIS_MAX_STRLEN}) i .r2'
  ${If} $2 > 0
    StrCpy $INSTDIR $1
  ${EndIf}
  ${If} $0 == ""
  ${OrIf} $0 == $INSTDIR
  ${OrIfNot} ${FileExists} "$0\Uninstall.exe"
    Delete "$SMPROGRAMS\${LINK}"
    Delete "$SMPROGRAMS\${MENUS_LINK}"
    Delete "$SMSTARTUP\${LINK}"
    DeleteRegKey HKCU "${KEY}"
  ${Else}
    DetailPrint "Kelmar's entry under Apps and features is the one of $0: it stays, with its shortcuts."
  ${EndIf}
  Delete "$INSTDIR\KELMAR32.EXE"
  Delete "$INSTDIR\KELMENUS.EXE"
  Delete "$INSTDIR\README.TXT"
  Delete "$INSTDIR\LICENSE.TXT"
  Delete "$INSTDIR\Uninstall.exe"
SectionEnd

Section /o "un.Also delete my menus"
  Delete "$INSTDIR\apps.dat"
  Delete "$INSTDIR\apps.dat.bak*"  ; the menus that KELMENUS.EXE replaced
  Delete "$INSTDIR\kel*.tmp"
SectionEnd

; Removing Kelmar takes no space: the uninstaller's choice page does not speak of it.
Function un.HideSpaceRequired
  ShowWindow $mui.ComponentsPage.SpaceRequired ${SW_HIDE}
FunctionEnd

; kelmar.ini in the Windows folder holds the options of every copy of Kelmar, so it stays.
Section "-un.Folder"
  RMDir $INSTDIR
  StrCpy $Kept "Kelmar has been removed from your computer."
  ${If} ${FileExists} "$INSTDIR\apps.dat"
    StrCpy $Kept "Your menus are kept in $INSTDIR\apps.dat."
  ${EndIf}
  StrCpy $0 ""
  ${If} ${FileExists} "$INSTDIR\KELMAR32.EXE"
    StrCpy $0 " KELMAR32.EXE"
  ${EndIf}
  ${If} ${FileExists} "$INSTDIR\KELMENUS.EXE"
    StrCpy $0 "$0 KELMENUS.EXE"
  ${EndIf}
  ${If} ${FileExists} "$INSTDIR\README.TXT"
    StrCpy $0 "$0 README.TXT"
  ${EndIf}
  ${If} ${FileExists} "$INSTDIR\LICENSE.TXT"
    StrCpy $0 "$0 LICENSE.TXT"
  ${EndIf}
  ${If} $0 != ""
    StrCpy $Kept "Kelmar is no longer installed, but these files could not be removed from $INSTDIR:$0. Another program may have them open; delete them by hand."
    SetErrorLevel 2
  ${EndIf}
  DetailPrint $Kept
SectionEnd

Function un.onInit
  StrCpy $Why "The uninstall stopped before the end."
FunctionEnd
