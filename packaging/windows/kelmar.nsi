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
!ifdef AMD64
  !define PTR_SIZE 8
!else
  !define PTR_SIZE 4
!endif

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
Var BlockerWin  ; that box
Var Closed      ; 1 when this run asked the installed Kelmar to end: it starts again afterwards
Var Welcome     ; the welcome page's text
Var FolderText  ; the folder page's text
Var Finish      ; the finish page's text
Var Kept        ; the uninstaller's last words: what stays, and where
Var InPlace     ; 1 when the uninstaller runs from the install folder itself (_?=), as the entry's quiet command runs it

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
; Next stays available, so that a folder Kelmar cannot use gets its reason on leaving, as with /D=.
!define MUI_DIRECTORYPAGE_VERIFYONLEAVE
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
!define MUI_PAGE_CUSTOMFUNCTION_PRE un.SkipWithoutMenus
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

; un: the functions' prefix; find: its StrStr; self: what its own copy needs on the command line.
!macro SHARED un find self
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

; Finds the boxes that our Kelmar shows (a message, User Menus, Menu Setup, Options...): each holds
; an answer or work of the user's. $Blocker becomes the title of the one that waits for the user (the
; one not disabled under a box of its own), $BlockerWin that box, which is brought in front of the
; setup once; $Blocker is empty when there is none.
Function ${un}ShowBoxes
  StrCpy $Blocker ""
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
      System::Call 'user32::IsWindowEnabled(p R0) i .R2'
      ${If} $R5 = 1
        ${If} $R2 <> 0
        ${OrIf} $Blocker == ""
          System::Call 'user32::GetWindowTextW(p R0, t .R6, i 256)'
          StrCpy $Blocker $R6
          StrCpy $BlockerWin $R0
        ${EndIf}
        ${${find}} $R6 $Shown " $R0 "
        ${If} $R2 <> 0
        ${AndIf} $R6 == ""
          StrCpy $Shown "$Shown$R0 "
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

; Ends the installed Kelmar as its own Exit does and says what it waits for. A box or dialog of
; Kelmar's holds the user's answer or unsaved work: an interactive run leaves it open, brings it to the
; front and asks the user to finish it there, its question placed beside that window; a silent run asks
; Kelmar to end all the same (it cancels the dialog and saves what was accepted) and gives up after ten
; seconds. On Cancel, or when a silent run gives up, the error flag is set, $Why says why, and nothing
; has been changed.
Function ${un}EndKelmar
  StrCpy $Asked " "
  retry:
  StrCpy $Shown " "
  StrCpy $R4 0
  ${Do}
    Call ${un}ShowBoxes
    ${If} $Blocker != ""
    ${AndIfNot} ${Silent}
      ${Break}
    ${EndIf}
    Call ${un}AskEachBar
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
    IntOp $R4 $R4 + 1
    ${If} $R4 > 40
      ${Break}
    ${EndIf}
    Sleep 250
  ${Loop}
  ${If} $Blocker != ""
    StrCpy $Why 'Kelmar could not close: its window "$Blocker" is open.'
    DetailPrint 'Closing Kelmar: please finish its window "$Blocker" first.'
    ${IfNot} ${Silent}
      ; A copy of this program places the question beside that window once it shows.
      SetDetailsPrint none
      Exec '"$EXEPATH" /BESIDE=$HWNDPARENT:$BlockerWin${self}'
      SetDetailsPrint lastused
    ${EndIf}
    MessageBox MB_RETRYCANCEL|MB_ICONEXCLAMATION '$Why$\r$\n$\r$\nPlease finish there what you are doing (answer it, or click its OK or Cancel), then click Retry. Cancel stops here and changes nothing.' /SD IDCANCEL IDRETRY retry
  ${Else}
    StrCpy $Why "Kelmar is still running and did not close when asked."
    MessageBox MB_RETRYCANCEL|MB_ICONEXCLAMATION '$Why$\r$\n$\r$\nEnd it with Exit Kelmar in its "§" menu (or Ctrl+X), then click Retry. Cancel stops here and changes nothing.' /SD IDCANCEL IDRETRY retry
  ${EndIf}
  StrCpy $Why "$Why Nothing was changed."
  DetailPrint $Why
  SetErrors
FunctionEnd

; Run as "/BESIDE=SETUP:WINDOW" by EndKelmar: waits up to ten seconds for the question that the window
; SETUP asks, and moves it beside WINDOW and the boxes of Kelmar's under it (right of them, else left,
; below or above), within their screen. Windows centres a message box on the screen, where it would
; cover the window it speaks of.
Function ${un}PlaceBox
  ${${find}} $0 $CMDLINE " /BESIDE="
  ${If} $0 == ""
    Return
  ${EndIf}
  StrCpy $0 $0 "" 9
  ${${find}} $1 $0 ":"
  StrCpy $1 $1 "" 1
  IntOp $0 $0 + 0  ; the number before the ":"
  IntOp $1 $1 + 0
  ${For} $R0 1 100
    StrCpy $R2 0
    ${Do}
      FindWindow $R2 "#32770" "" 0 $R2
      ${If} $R2 = 0
        ${Break}
      ${EndIf}
      System::Call 'user32::GetWindow(p R2, i 4) p .R3'  ; GW_OWNER
      System::Call 'user32::IsWindowVisible(p R2) i .R4'
      ${If} $R3 = $0
      ${AndIf} $R4 <> 0
        System::Call '*(i, i, i, i, i, i, i, i, i, i) p .R9'
        System::Call 'user32::GetWindowRect(p r1, p R9)'
        System::Call '*$R9(i .r2, i .r3, i .r4, i .r5)'
        ; With the boxes that it is modal over: User Menus under Menu Setup, say.
        StrCpy $R8 $1
        ${Do}
          System::Call 'user32::GetWindow(p R8, i 4) p .R8'
          ${IfThen} $R8 = 0 ${|} ${Break} ${|}
          System::Call 'user32::GetClassNameW(p R8, t .R7, i 16)'
          ${IfThen} $R7 != "#32770" ${|} ${Break} ${|}
          System::Call 'user32::GetWindowRect(p R8, p R9)'
          System::Call '*$R9(i .R3, i .R4, i .R5, i .R6)'
          ${IfThen} $R3 < $2 ${|} StrCpy $2 $R3 ${|}
          ${IfThen} $R4 < $3 ${|} StrCpy $3 $R4 ${|}
          ${IfThen} $R5 > $4 ${|} StrCpy $4 $R5 ${|}
          ${IfThen} $R6 > $5 ${|} StrCpy $5 $R6 ${|}
        ${Loop}
        System::Call 'user32::GetWindowRect(p R2, p R9)'
        System::Call '*$R9(i .r6, i .r7, i .r8, i .r9)'
        IntOp $8 $8 - $6  ; the box's width and height
        IntOp $9 $9 - $7
        System::Call 'user32::MonitorFromWindow(p r1, i 2) p .R3'
        System::Call '*$R9(i 40)'
        System::Call 'user32::GetMonitorInfoW(p R3, p R9)'
        System::Call '*$R9(i, i, i, i, i, i .R3, i .R4, i .R5, i .R6)'  ; the work area
        System::Free $R9
        IntOp $6 $4 + 8  ; right of it
        StrCpy $7 $3
        IntOp $R7 $6 + $8
        ${If} $R7 > $R5
          IntOp $6 $2 - 8  ; left of it
          IntOp $6 $6 - $8
          ${If} $6 < $R3
            StrCpy $6 $2
            IntOp $7 $5 + 8  ; below it
            IntOp $R7 $7 + $9
            ${If} $R7 > $R6
              IntOp $7 $3 - 8  ; above it
              IntOp $7 $7 - $9
            ${EndIf}
          ${EndIf}
        ${EndIf}
        ; Within the work area.
        IntOp $R7 $R5 - $8
        ${IfThen} $6 > $R7 ${|} StrCpy $6 $R7 ${|}
        ${IfThen} $6 < $R3 ${|} StrCpy $6 $R3 ${|}
        IntOp $R7 $R6 - $9
        ${IfThen} $7 > $R7 ${|} StrCpy $7 $R7 ${|}
        ${IfThen} $7 < $R4 ${|} StrCpy $7 $R4 ${|}
        System::Call 'user32::SetWindowPos(p R2, p 0, i r6, i r7, i 0, i 0, i 0x15)'
        Quit
      ${EndIf}
    ${Loop}
    Sleep 100
  ${Next}
  Quit
FunctionEnd
!macroend
!insertmacro SHARED "" StrStr ""
; The uninstaller's copy runs where it is, not from a copy of its own in the temporary folder.
!insertmacro SHARED "un." UnStrStr " _?=$INSTDIR"

; ---- The setup ----

; Makes the folder in $R9 whole by Windows's own rules: GetFullPathName reads "/" as "\", a doubled "\"
; as one and resolves "." and ".."; GetLongPathName writes the part that exists as Windows names it (no
; short names); a trailing "\" goes. Sets the error flag and $Why for what Windows would take but
; Kelmar cannot use: a relative or device path, a character that names cannot hold, a name that
; Windows would cut short (a trailing dot or space) or keeps for a device, the top of a drive or
; share, or a path too long for Kelmar's files.
Function Normalize
  Push $0
  Push $1
  Push $2
  Push $3
  Push $4
  Push $5
  StrCpy $1 $R9
  ; As Explorer's "Copy as path" gives it, in quotes.
  StrCpy $2 $1 1
  ${If} $2 == '"'
    StrCpy $1 $1 "" 1
    StrCpy $2 $1 1 -1
    ${If} $2 == '"'
      StrCpy $1 $1 -1
    ${EndIf}
  ${EndIf}
  ; A whole path: C:\... or \\server\share\..., "/" or "\" alike.
  StrCpy $2 $1 1
  StrCpy $3 $1 1 1
  StrCpy $4 $1 1 2
  ${If} $2 == "\"
  ${OrIf} $2 == "/"
    ${If} $3 != "\"
    ${AndIf} $3 != "/"
      Goto relative
    ${EndIf}
    ${If} $4 == "?"
    ${OrIf} $4 == "."
      StrCpy $Why "it is a device path, not a folder."
      Goto bad
    ${EndIf}
  ${Else}
    ${StrStr} $5 "ABCDEFGHIJKLMNOPQRSTUVWXYZ" $2
    ${If} $2 == ""
    ${OrIf} $5 == ""
    ${OrIf} $3 != ":"
      Goto relative
    ${EndIf}
    ${If} $4 != "\"
    ${AndIf} $4 != "/"
      Goto relative
    ${EndIf}
  ${EndIf}
  ; Each name: only characters that Windows allows, and none that it would change or keeps for a device.
  StrCpy $3 0
  StrCpy $5 ""
  ${Do}
    StrCpy $2 $1 1 $3
    IntOp $3 $3 + 1
    ${If} $2 == "\"
    ${OrIf} $2 == "/"
    ${OrIf} $2 == ""
      ${If} $5 != ""
      ${AndIf} $5 != "."
      ${AndIf} $5 != ".."
        StrCpy $4 $5 1 -1
        ${If} $4 == "."
        ${OrIf} $4 == " "
          StrCpy $Why 'the name "$5" ends in a dot or a space, which Windows does not keep.'
          Goto bad
        ${EndIf}
        ; The names kept for devices, bare or with an extension.
        ${StrStr} $4 $5 "."
        StrLen $4 $4
        StrLen $0 $5
        IntOp $4 $0 - $4
        StrCpy $4 $5 $4
        ${StrStr} $0 "|CON|PRN|AUX|NUL|COM1|COM2|COM3|COM4|COM5|COM6|COM7|COM8|COM9|LPT1|LPT2|LPT3|LPT4|LPT5|LPT6|LPT7|LPT8|LPT9|" "|$4|"
        ${If} $0 != ""
          StrCpy $Why 'Windows keeps the name "$4" for a device.'
          Goto bad
        ${EndIf}
      ${EndIf}
      StrCpy $5 ""
      ${IfThen} $2 == "" ${|} ${Break} ${|}
    ${ElseIf} $2 == ":"
    ${AndIf} $3 != 2
      Goto bad_char
    ${ElseIf} $2 == "<"
    ${OrIf} $2 == ">"
    ${OrIf} $2 == '"'
    ${OrIf} $2 == "|"
    ${OrIf} $2 == "?"
    ${OrIf} $2 == "*"
      Goto bad_char
    ${Else}
      StrCpy $5 "$5$2"
    ${EndIf}
  ${Loop}
  System::Call 'kernel32::GetFullPathNameW(t r1, i ${NSIS_MAX_STRLEN}, t .r0, p 0) i .r2'
  ${If} $2 = 0
  ${OrIf} $2 >= ${NSIS_MAX_STRLEN}
    Goto too_long
  ${EndIf}
  StrCpy $2 $0 1 -1
  ${IfThen} $2 == "\" ${|} StrCpy $0 $0 -1 ${|}
  ; Not the top of a drive (C:) or of a share (\\server\share).
  StrCpy $2 $0 "" 2
  ${StrStr} $2 $2 "\"
  StrCpy $3 $0 1
  ${If} $3 == "\"
    StrCpy $2 $2 "" 1
    ${StrStr} $2 $2 "\"
  ${EndIf}
  ${If} $2 == ""
    StrCpy $Why "Kelmar needs a folder of its own, not the top of a drive or share."
    Goto bad
  ${EndIf}
  ; The part that exists, as Windows names it.
  StrCpy $1 $0
  StrCpy $2 ""  ; the names below it
  ${Do}
    System::Call 'kernel32::GetLongPathNameW(t "$1\", t .r3, i ${NSIS_MAX_STRLEN}) i .r4'
    ${If} $4 > 0
    ${AndIf} $4 < ${NSIS_MAX_STRLEN}
      StrCpy $4 $3 1 -1
      ${IfThen} $4 == "\" ${|} StrCpy $3 $3 -1 ${|}
      StrCpy $0 "$3$2"
      ${Break}
    ${EndIf}
    ${GetFileName} $1 $3
    ${GetParent} $1 $1
    ${IfThen} $1 == "" ${|} ${Break} ${|}
    StrCpy $2 "\$3$2"
  ${Loop}
  ; Kelmar's longest file name there, Uninstall.exe.new, must fit in the 259 characters of a path.
  StrLen $2 $0
  ${If} $2 > 240
    Goto too_long
  ${EndIf}
  StrCpy $R9 $0
  ClearErrors
  Goto done
too_long:
  StrCpy $Why "it is longer than Windows allows for Kelmar's files in it."
  Goto bad
bad_char:
  StrCpy $Why 'Windows does not allow < > : " | ? * in the names of folders.'
  Goto bad
relative:
  StrCpy $Why "it is not a whole path. Please give the whole path, beginning with a drive such as C:\ or with \\server\share."
bad:
  SetErrors
done:
  Pop $5
  Pop $4
  Pop $3
  Pop $2
  Pop $1
  Pop $0
FunctionEnd

; Sets the error flag when files cannot be made in $INSTDIR: tried in the folder, or where it does not
; exist yet, in the nearest folder above it that does, whatever that folder holds (the top of a drive
; may hold nothing at all).
Function CheckFolder
  StrCpy $R0 $INSTDIR
  ${Do}
    System::Call 'kernel32::GetFileAttributesW(t "$R0\") i .R1'
    IntOp $R2 $R1 & 0x10  ; FILE_ATTRIBUTE_DIRECTORY
    ${If} $R1 <> -1
    ${AndIf} $R2 <> 0
      ${Break}
    ${EndIf}
    ${GetParent} $R0 $R0
    ${If} $R0 == ""
      SetErrors
      Return
    ${EndIf}
  ${Loop}
  ; Named as Kelmar names its own temporary files, so that one left by a kill here is removed as
  ; theirs are. Wine names a file without making it when the folder refuses it: the file must be there.
  System::Call 'kernel32::GetTempFileNameW(t "$R0\", t "kel", i 0, t .R1) i .R2'
  ${If} $R2 = 0
  ${OrIfNot} ${FileExists} $R1
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
    StrCpy $R7 ""
    ${If} ${FileExists} "$OldDir\apps.dat"
      StrCpy $R7 " your menus come along (unless that folder has its own apps.dat), and"
    ${EndIf}
    MessageBox MB_OKCANCEL|MB_ICONQUESTION "Kelmar is installed in $OldDir.$\r$\n$\r$\nSetup will move it to $INSTDIR:$R7 the program files and shortcuts of the old folder are removed." IDOK +2
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
  Delete "$INSTDIR\apps.dat.new"
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

; $0 is a program file of Kelmar's. An earlier setup cut short between its two renames left it as
; $0.old: it is put back, so that the install is whole before anything is changed; else that leftover goes.
Function Tidy
  ${IfNot} ${FileExists} "$INSTDIR\$0"
    Rename "$INSTDIR\$0.old" "$INSTDIR\$0"
  ${EndIf}
  Delete "$INSTDIR\$0.old"
FunctionEnd

; The new version, waiting as name.new, takes the old one's place in one step (a rename that replaces),
; so that a kill at any moment leaves one whole file of either version.
!macro PUT_IN_PLACE name
  System::Call 'kernel32::MoveFileExW(t "$INSTDIR\${name}.new", t "$INSTDIR\${name}", i 9) i .r0'  ; REPLACE_EXISTING | WRITE_THROUGH
  ${If} $0 = 0
    StrCpy $Told 1
    StrCpy $Why "Setup could not replace $INSTDIR\${name}."
    MessageBox MB_OK|MB_ICONSTOP $Why /SD IDOK
    Abort
  ${EndIf}
!macroend

; Kelmar's program files in a folder, with what a run cut short left of them.
!macro DELETE_PROGRAM dir
  Delete "${dir}\KELMAR32.EXE*"
  Delete "${dir}\KELMENUS.EXE*"
  Delete "${dir}\README.TXT*"
  Delete "${dir}\LICENSE.TXT*"
  Delete "${dir}\apps.dat.new"
!macroend

; Removes the program files of the folder that Kelmar moved from and, when they came along, its menus;
; says what it could not remove.
Function LeaveOldFolder
  !insertmacro DELETE_PROGRAM $OldDir
  Delete "$OldDir\Uninstall.exe*"
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

; The steps come in the order that keeps an install whole and registered whenever the setup is cut
; short: new files beside the old, each put in place in one step, the entry last, its folder's name
; last of all (which moves the install), and only then the old folder's files removed. The next run
; finishes the job in the registered folder.
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
  ; What a save of Kelmar's or a run of the setup cut short left; Kelmar has ended.
  Delete "$INSTDIR\kel*.tmp"
  StrCpy $0 KELMAR32.EXE
  Call Tidy
  StrCpy $0 KELMENUS.EXE
  Call Tidy
  StrCpy $0 README.TXT
  Call Tidy
  StrCpy $0 LICENSE.TXT
  Call Tidy
  StrCpy $0 Uninstall.exe
  Call Tidy
  ; A move brings the menus along, unless the new folder has its own: copied aside and then put in
  ; place in one step, so that a cut-short copy is never taken for the user's menus.
  ${If} $OldDir != ""
  ${AndIf} $OldDir != $INSTDIR
  ${AndIf} ${FileExists} "$OldDir\apps.dat"
  ${AndIfNot} ${FileExists} "$INSTDIR\apps.dat"
    StrCpy $MovedMenus 1
    System::Call 'kernel32::CopyFileW(t "$OldDir\apps.dat", t "$INSTDIR\apps.dat.new", i 0) i .r0'
    ${If} $0 <> 0
      System::Call 'kernel32::MoveFileExW(t "$INSTDIR\apps.dat.new", t "$INSTDIR\apps.dat", i 8) i .r0'
    ${EndIf}
    ${If} $0 = 0
      Delete "$INSTDIR\apps.dat.new"
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

Section "Start Kelmar when you log on to Windows" SecStartup
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
  WriteRegStr HKCU "${KEY}" "UninstallString" '"$INSTDIR\Uninstall.exe"'
  ; Run in place (_?=), the uninstaller ends with the code of the uninstall itself, not at once with 0
  ; as its copy in the temporary folder would.
  WriteRegStr HKCU "${KEY}" "QuietUninstallString" '"$INSTDIR\Uninstall.exe" /S _?=$INSTDIR'
  SectionGetSize ${SecProgram} $0
  WriteRegDWORD HKCU "${KEY}" "EstimatedSize" $0
  WriteRegDWORD HKCU "${KEY}" "NoModify" 1
  WriteRegDWORD HKCU "${KEY}" "NoRepair" 1
  WriteRegStr HKCU "${KEY}" "InstallLocation" "$INSTDIR"
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
    StrCpy $Welcome "Kelmar is installed in $OldDir. Setup will move it to $INSTDIR and install version ${VERSION} there.$\r$\n$\r$\n"
    ${If} ${FileExists} "$OldDir\apps.dat"
      StrCpy $Welcome "$WelcomeYour menus come along, unless the new folder has its own. "
    ${EndIf}
    StrCpy $Welcome "$WelcomeThe old folder's program files and shortcuts are removed."
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
    ${If} ${FileExists} "$OldDir\apps.dat"
      StrCpy $FolderText "Kelmar is installed in $OldDir, with your menus (apps.dat). To move Kelmar and your menus, choose another folder where you can save files. Click Next to continue."
    ${Else}
      StrCpy $FolderText "Kelmar is installed in $OldDir. To move it, choose another folder where you can save files. Click Next to continue."
    ${EndIf}
  ${EndIf}
  StrCpy $Welcome "$Welcome$\r$\n$\r$\nClick Next to continue."
FunctionEnd

Function .onInit
  Call PlaceBox
  ; The registered folder is the install, whatever it still holds: an update cut short, or a file
  ; that an antivirus took away, is finished or repaired there, with the user's menus.
  ReadRegStr $OldDir HKCU "${KEY}" "InstallLocation"
  ReadRegStr $OldVersion HKCU "${KEY}" "DisplayVersion"
  StrCpy $R9 $OldDir
  Call Normalize
  StrCpy $OldDir $R9
  ${IfThen} ${Errors} ${|} StrCpy $OldDir "" ${|}
  ; /D= read as Windows's own rules split the command line, so that "/D=C:\My Apps\Kelmar", quoted
  ; whole as PowerShell and deployment tools pass it, is one argument. NSIS's own form, unquoted and
  ; last on the line, runs to the end of the line, spaces and all. (NSIS itself ignores the quoted form
  ; and drops from $INSTDIR what it takes for bad characters, "/" among them.)
  StrCpy $R9 ""
  StrCpy $R8 0  ; 1 once /D= is found
  System::Call 'kernel32::GetCommandLineW() t .r0'
  System::Call 'shell32::CommandLineToArgvW(t r0, *i .r1) p .r2'
  IntOp $1 $1 - 1  ; the last argument's index
  ${For} $3 1 $1
    IntOp $4 $3 * ${PTR_SIZE}
    IntPtrOp $4 $2 + $4
    System::Call '*$4(t .r5)'
    StrCpy $4 $5 3
    ${If} $4 S== "/D="
      StrCpy $R8 1
      StrCpy $R9 $5 "" 3
      ${StrStr} $5 $0 " /D="
      StrCpy $6 $5 4
      ${If} $3 < $1
      ${AndIf} $6 S== " /D="
        StrCpy $R9 $5 "" 4
      ${EndIf}
      ${Break}
    ${EndIf}
  ${Next}
  System::Call 'kernel32::LocalFree(p r2)'
  ${If} $R8 = 1
    ; the folder given
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
  !insertmacro DELETE_PROGRAM $INSTDIR
  Delete "$INSTDIR\Uninstall.exe.*"
  ; Run in place, this program cannot delete its own file: a copy of it does so once it has ended.
  ${If} $InPlace = 0
    Delete "$INSTDIR\Uninstall.exe"
  ${EndIf}
SectionEnd

Section /o "un.Also delete my menus"
  Delete "$INSTDIR\apps.dat"
  Delete "$INSTDIR\apps.dat.bak*"  ; the menus that KELMENUS.EXE replaced
  Delete "$INSTDIR\kel*.tmp"
SectionEnd

; Without apps.dat there is nothing to choose.
Function un.SkipWithoutMenus
  ${IfNot} ${FileExists} "$INSTDIR\apps.dat"
    Abort
  ${EndIf}
FunctionEnd

; Removing Kelmar takes no space: the uninstaller's choice page does not speak of it.
Function un.HideSpaceRequired
  ShowWindow $mui.ComponentsPage.SpaceRequired ${SW_HIDE}
FunctionEnd

; kelmar.ini in the Windows folder holds the options of every copy of Kelmar, so it stays. The last
; page says whether the folder stays, and why.
Section "-un.Folder"
  RMDir $INSTDIR
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
  ${If} $InPlace = 0
  ${AndIf} ${FileExists} "$INSTDIR\Uninstall.exe"
    StrCpy $0 "$0 Uninstall.exe"
  ${EndIf}
  ; A file that is not Kelmar's keeps the folder.
  StrCpy $1 ""
  FindFirst $2 $3 "$INSTDIR\*"
  ${DoWhile} $3 != ""
    ${If} $3 != "."
    ${AndIf} $3 != ".."
    ${AndIf} $3 != "apps.dat"
    ${AndIf} $3 != "Uninstall.exe"
    ${AndIf} $3 != "KELMAR32.EXE"
    ${AndIf} $3 != "KELMENUS.EXE"
    ${AndIf} $3 != "README.TXT"
    ${AndIf} $3 != "LICENSE.TXT"
      StrCpy $1 $3
    ${EndIf}
    FindNext $2 $3
  ${Loop}
  FindClose $2
  ${If} $0 != ""
    StrCpy $Kept "Kelmar is no longer installed, but these files could not be removed from $INSTDIR:$0. Another program may have them open; delete them by hand."
    SetErrorLevel 2
  ${ElseIf} ${FileExists} "$INSTDIR\apps.dat"
    StrCpy $Kept "Kelmar has been removed. The folder $INSTDIR stays: it holds your menus, apps.dat."
  ${ElseIf} $1 != ""
    StrCpy $Kept 'Kelmar has been removed. The folder $INSTDIR stays: it holds "$1", which is not Kelmar's.'
  ${Else}
    StrCpy $Kept "Kelmar has been removed from your computer."
  ${EndIf}
  DetailPrint $Kept
  ${If} $InPlace = 1
    Exec '"$INSTDIR\Uninstall.exe" /S /LEFTOVER'
  ${EndIf}
SectionEnd

Function un.onInit
  Call un.PlaceBox
  ; The folder as Windows names it, without a trailing "\" (NSIS hands it over with one).
  System::Call 'kernel32::GetLongPathNameW(t "$INSTDIR", t .r1, i ${NSIS_MAX_STRLEN}) i .r2'
  ${If} $2 > 0
  ${AndIf} $2 < ${NSIS_MAX_STRLEN}
    StrCpy $INSTDIR $1
  ${EndIf}
  StrCpy $1 $INSTDIR 1 -1
  ${IfThen} $1 == "\" ${|} StrCpy $INSTDIR $INSTDIR -1 ${|}
  ; Run with /LEFTOVER from the copy in the temporary folder that NSIS makes, once the uninstall in
  ; place has ended: removes that uninstaller and the folder when nothing else is left in it.
  ${UnStrStr} $1 $CMDLINE " /LEFTOVER"
  ${If} $1 != ""
    ${For} $1 1 120
      Delete "$INSTDIR\Uninstall.exe"
      ${IfNotThen} ${FileExists} "$INSTDIR\Uninstall.exe" ${|} ${Break} ${|}
      Sleep 250
    ${Next}
    RMDir $INSTDIR
    Quit
  ${EndIf}
  System::Call 'kernel32::GetLongPathNameW(t "$EXEDIR", t .r1, i ${NSIS_MAX_STRLEN})'
  StrCpy $InPlace 0
  ${IfThen} $1 == $INSTDIR ${|} StrCpy $InPlace 1 ${|}
  StrCpy $Why "The uninstall stopped before the end."
FunctionEnd
