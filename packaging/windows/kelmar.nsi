; Kelmar's Windows setup: installs KELMAR32.EXE for the current user alone, with a Start-menu shortcut,
; an optional one in the Startup folder and an entry under "Apps and features"; its uninstaller keeps
; the user's menus. setup.cmake builds it with makensis, handing in VERSION, FILEVERSION, EXE, GUIDE,
; LICENCE, ICON and OUTFILE. The shipped setup is 32-bit and ANSI, so that it runs on every Windows from 95
; on; with AMD64 defined the same script makes a 64-bit setup that the tests run under 64-bit Wine.

!ifdef AMD64
  Target amd64-unicode
!else
  Target x86-ansi
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

!include MUI2.nsh
!include LogicLib.nsh
!include Sections.nsh
!include FileFunc.nsh
!include StrFunc.nsh
!include WinCore.nsh
${StrStr}
${UnStrStr}

Var OldDir    ; the folder of the install found in the registry, empty when there is none
Var MadeDir   ; 1 when this run made the install folder
Var Told      ; 1 once the user has been told why the install stopped
Var Asked     ; the bars already asked to end, as " handle handle "
Var Welcome   ; the welcome page's text
Var Kept      ; the uninstaller's last words: where the menus stay

; ---- Pages ----
!define MUI_ICON "${ICON}"
; The uninstaller's icon too: the default one alone would add more than the whole of Kelmar compressed.
!define MUI_UNICON "${ICON}"
!define MUI_ABORTWARNING
!define MUI_FINISHPAGE_NOREBOOTSUPPORT
!define MUI_COMPONENTSPAGE_NODESC

!define MUI_WELCOMEPAGE_TEXT "$Welcome"
!insertmacro MUI_PAGE_WELCOME
; The MIT licence asks nothing of the user who installs Kelmar, so the page informs and goes on with Next.
!define MUI_PAGE_HEADER_TEXT "Licence"
!define MUI_PAGE_HEADER_SUBTEXT "Kelmar is free software under the MIT licence."
!define MUI_LICENSEPAGE_TEXT_TOP "Press Page Down to see the rest of the licence."
!define MUI_LICENSEPAGE_TEXT_BOTTOM "The licence lets you use, copy, change and pass on Kelmar. Click Next to continue."
!define MUI_LICENSEPAGE_BUTTON "$(^NextBtn)"
!insertmacro MUI_PAGE_LICENSE "${LICENCE}"
!define MUI_PAGE_CUSTOMFUNCTION_PRE SkipFolderOnUpgrade
!define MUI_PAGE_CUSTOMFUNCTION_LEAVE RefuseUnwritableFolder
!define MUI_DIRECTORYPAGE_TEXT_TOP "Kelmar keeps your menus (the file apps.dat) in the folder it is installed in, so choose a folder that you may write to. To use another folder, click Browse. Click Next to continue."
!insertmacro MUI_PAGE_DIRECTORY
!define MUI_PAGE_HEADER_TEXT "Choose Shortcuts"
!define MUI_PAGE_HEADER_SUBTEXT "Choose how you would like to start Kelmar."
!define MUI_COMPONENTSPAGE_TEXT_TOP "Kelmar always gets a shortcut in your Start menu. It can also start each time you log on to Windows."
!define MUI_COMPONENTSPAGE_TEXT_COMPLIST "Shortcuts:"
!insertmacro MUI_PAGE_COMPONENTS
!define MUI_INSTFILESPAGE_ABORTHEADER_SUBTEXT "Setup stopped before the end. Click Cancel to close it."
!insertmacro MUI_PAGE_INSTFILES
!define MUI_FINISHPAGE_TEXT "Kelmar is installed in $INSTDIR, and you find it in your Start menu.$\r$\n$\r$\nIt keeps your menus in apps.dat in that folder."
!define MUI_FINISHPAGE_RUN
!define MUI_FINISHPAGE_RUN_TEXT "Start Kelmar now"
!define MUI_FINISHPAGE_RUN_FUNCTION StartKelmar
!insertmacro MUI_PAGE_FINISH

!insertmacro MUI_UNPAGE_CONFIRM
!define MUI_PAGE_HEADER_TEXT "Your Menus"
!define MUI_PAGE_HEADER_SUBTEXT "Choose whether to keep your menus."
!define MUI_COMPONENTSPAGE_TEXT_TOP "Your menus (apps.dat in $INSTDIR) are kept, so that Kelmar finds them again when you install it there once more, unless you tick the box below."
!define MUI_COMPONENTSPAGE_TEXT_COMPLIST " "
!define MUI_PAGE_CUSTOMFUNCTION_SHOW un.HideSpaceRequired
!insertmacro MUI_UNPAGE_COMPONENTS
; No finish page (its picture and plug-ins would add a fifth to the setup's size): the last page stays
; open and says where the menus are kept.
!define MUI_UNFINISHPAGE_NOAUTOCLOSE
!define MUI_INSTFILESPAGE_FINISHHEADER_SUBTEXT "$Kept"
!insertmacro MUI_UNPAGE_INSTFILES

!insertmacro MUI_LANGUAGE "English"

; ---- Shared by the setup and the uninstaller ----

; Every running copy of Kelmar is asked to end the way its own Exit ends it, by WM_CLOSE to its bar, so
; that it saves the user's menus; each bar is asked once. Then it waits a few seconds until no bar is
; left and the installed KELMAR32.EXE no longer runs. When Kelmar has not ended, the user may end it by
; hand and retry, or cancel: then the error flag is set and nothing has been changed.
!macro END_KELMAR un find
Function ${un}AskEachBar
  StrCpy $R1 0  ; the search goes on after this window
  ${Do}
    FindWindow $R0 "KelmarClass" "" 0 $R1
    ${If} $R0 = 0
      ${Break}
    ${EndIf}
    ${${find}} $R2 $Asked " $R0 "
    ${If} $R2 == ""
      StrCpy $Asked "$Asked$R0 "
      DetailPrint "Asking Kelmar to end"
      SendMessage $R0 ${WM_CLOSE} 0 0 /TIMEOUT=5000
    ${EndIf}
    IsWindow $R0 0 gone
    StrCpy $R1 $R0  ; still there: the next search starts after it
    gone:
  ${Loop}
FunctionEnd

; $R2 is 1 while the installed KELMAR32.EXE runs: Windows refuses to open a running program for writing.
Function ${un}ExeRuns
  StrCpy $R2 0
  ${If} ${FileExists} "$INSTDIR\KELMAR32.EXE"
    ClearErrors
    FileOpen $R3 "$INSTDIR\KELMAR32.EXE" a
    ${If} ${Errors}
      StrCpy $R2 1
    ${Else}
      FileClose $R3
    ${EndIf}
  ${EndIf}
FunctionEnd

Function ${un}EndKelmar
  StrCpy $Asked " "
  retry:
  StrCpy $R4 0
  ${Do}
    Call ${un}AskEachBar
    FindWindow $R0 "KelmarClass"
    ${If} $R0 = 0
      Call ${un}ExeRuns
      ${If} $R2 = 0
        ClearErrors
        Return
      ${EndIf}
    ${EndIf}
    IntOp $R4 $R4 + 1
    ${If} $R4 > 40  ; ten seconds
      ${Break}
    ${EndIf}
    Sleep 250
  ${Loop}
  MessageBox MB_RETRYCANCEL|MB_ICONEXCLAMATION "Kelmar is still running and has not ended.$\r$\n$\r$\nAnswer any message that Kelmar shows, or end it with Exit Kelmar in its first menu, then click Retry. Cancel stops here and changes nothing." /SD IDCANCEL IDRETRY retry
  SetErrors
FunctionEnd
!macroend
!insertmacro END_KELMAR "" StrStr
!insertmacro END_KELMAR "un." UnStrStr

; ---- The setup ----

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

Function RefuseUnwritableFolder
  Call CheckFolder
  ${If} ${Errors}
    MessageBox MB_OK|MB_ICONEXCLAMATION "You may not write in $INSTDIR.$\r$\n$\r$\nKelmar saves your menus in the folder it is installed in: please choose another folder."
    Abort
  ${EndIf}
FunctionEnd

; Removes what a stopped install left, so that the machine is as it was: the new files that waited
; beside the old ones, and the install folder when this run made it.
Function .onInstFailed
  Delete "$INSTDIR\KELMAR32.EXE.new"
  Delete "$INSTDIR\README.TXT.new"
  Delete "$INSTDIR\LICENSE.TXT.new"
  Delete "$INSTDIR\Uninstall.exe.new"
  ${If} $MadeDir = 1
    RMDir $INSTDIR
  ${EndIf}
  ${If} $Told != 1
    MessageBox MB_OK|MB_ICONSTOP "Setup could not write Kelmar's files in $INSTDIR; the disk may be full. Nothing was changed." /SD IDOK
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
    MessageBox MB_OK|MB_ICONSTOP "Setup could not replace $INSTDIR\${name}." /SD IDOK
    Abort
  ${EndIf}
!macroend

Section "-Program files" SecProgram
  Call EndKelmar
  ${If} ${Errors}
    StrCpy $Told 1
    DetailPrint "Kelmar is still running: nothing was changed."
    Abort
  ${EndIf}
  Call CheckFolder
  ${If} ${Errors}
    StrCpy $Told 1
    MessageBox MB_OK|MB_ICONSTOP "You may not write in $INSTDIR, so Kelmar cannot keep its menus there. Nothing was changed." /SD IDOK
    Abort
  ${EndIf}
  ${IfNot} ${FileExists} "$INSTDIR\*.*"
    StrCpy $MadeDir 1
  ${EndIf}
  ; The new files are written beside the old ones first, so that a full disk leaves the old install as
  ; it was; only then does each take its old one's place.
  SetOutPath $INSTDIR
  File "/oname=KELMAR32.EXE.new" "${EXE}"
  File "/oname=README.TXT.new" "${GUIDE}"
  File "/oname=LICENSE.TXT.new" "${LICENCE}"
  ClearErrors
  WriteUninstaller "$INSTDIR\Uninstall.exe.new"
  ${If} ${Errors}
    Abort
  ${EndIf}
  !insertmacro PUT_IN_PLACE KELMAR32.EXE
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
SectionEnd

Section "Start Kelmar when Windows starts" SecStartup
  !insertmacro SHORTCUT $SMSTARTUP
SectionEnd

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
SectionEnd

Function .onInit
  ReadRegStr $OldDir HKCU "${KEY}" "InstallLocation"
  ${If} $OldDir == ""
  ${OrIfNot} ${FileExists} "$OldDir\KELMAR32.EXE"
    StrCpy $OldDir ""
  ${EndIf}
  ${If} $INSTDIR == ""  ; no /D= on the command line
    ${If} $OldDir != ""
      StrCpy $INSTDIR $OldDir
    ${Else}
      ; The per-user programs folder. Windows before 7 does not name one, so it is made where Windows 7
      ; puts it; Windows 95, 98 and NT 4.0 have no per-user application data either, so there Program
      ; Files is proposed (the folder page refuses it to a user who may not write there).
      GetKnownFolderPath $INSTDIR ${FOLDERID_UserProgramFiles}
      ${If} $INSTDIR != ""
        StrCpy $INSTDIR "$INSTDIR\Kelmar"
      ${ElseIf} $LOCALAPPDATA != ""
        StrCpy $INSTDIR "$LOCALAPPDATA\Programs\Kelmar"
      ${Else}
        StrCpy $INSTDIR "$PROGRAMFILES\Kelmar"
      ${EndIf}
    ${EndIf}
  ${EndIf}
  ${If} $INSTDIR != $OldDir  ; /D= named another folder: a new install there
    StrCpy $OldDir ""
  ${EndIf}
  ${If} $OldDir == ""
    StrCpy $Welcome "Setup will install Kelmar ${VERSION}, a thin bar of application menus across the top of the screen.$\r$\n$\r$\nKelmar is installed for your user account only, so you do not need to be an administrator.$\r$\n$\r$\nClick Next to continue."
  ${Else}
    StrCpy $Welcome "Setup will update Kelmar in $OldDir to version ${VERSION}.$\r$\n$\r$\nYour menus and options are kept. If Kelmar is running, Setup asks it to end first, so that it saves your menus.$\r$\n$\r$\nClick Next to continue."
    ; An update keeps the user's choice about starting with Windows.
    ${IfNot} ${FileExists} "$SMSTARTUP\${LINK}"
      !insertmacro UnselectSection ${SecStartup}
    ${EndIf}
  ${EndIf}
FunctionEnd

; An update stays in the folder of the install it updates, where the user's menus are.
Function SkipFolderOnUpgrade
  ${If} $OldDir != ""
    Abort
  ${EndIf}
FunctionEnd

; Started as its shortcuts start it: in the install folder, where its apps.dat is.
Function StartKelmar
  SetOutPath $INSTDIR
  Exec '"$INSTDIR\KELMAR32.EXE"'
FunctionEnd

; ---- The uninstaller ----

Section "-un.Program files"
  Call un.EndKelmar
  ${If} ${Errors}
    DetailPrint "Kelmar is still running: nothing was removed."
    Abort
  ${EndIf}
  Delete "$INSTDIR\KELMAR32.EXE"
  Delete "$INSTDIR\README.TXT"
  Delete "$INSTDIR\LICENSE.TXT"
  Delete "$INSTDIR\Uninstall.exe"
  ; The shortcuts and the entry belong to the install that the registry names; an uninstaller left in
  ; another folder removes only its own files.
  ReadRegStr $0 HKCU "${KEY}" "InstallLocation"
  ${If} $0 == ""
  ${OrIf} $0 == $INSTDIR
    Delete "$SMPROGRAMS\${LINK}"
    Delete "$SMSTARTUP\${LINK}"
    DeleteRegKey HKCU "${KEY}"
  ${EndIf}
SectionEnd

Section /o "un.Also delete my menus"
  Delete "$INSTDIR\apps.dat"
  Delete "$INSTDIR\kel*.tmp"
SectionEnd

; Removing Kelmar takes no space: the uninstaller's choice page does not speak of it.
Function un.HideSpaceRequired
  ShowWindow $mui.ComponentsPage.SpaceRequired ${SW_HIDE}
FunctionEnd

; kelmar.ini in the Windows folder holds the options of every copy of Kelmar, so it stays.
Section "-un.Folder"
  RMDir $INSTDIR
  ${If} ${FileExists} "$INSTDIR\apps.dat"
    StrCpy $Kept "Your menus are kept in $INSTDIR\apps.dat."
    DetailPrint "Your menus are kept in $INSTDIR\apps.dat"
  ${Else}
    StrCpy $Kept "Kelmar has been removed from your computer."
  ${EndIf}
SectionEnd
