// Resource and command identifiers, shared by the resource script and the code.
#pragma once

#define IDD_OPTIONS 101
#define IDI_MAIN 102
#define IDD_ABOUT 104
#define IDR_BARMENU 105
#define IDD_USERMENUS 106
#define IDD_APPSETUP 107
#define IDD_MENUSETUP 108
#define IDI_CLOCK 110
#define IDR_ACCELERATORS 111

#define CMD_OPTIONS 40001
#define CMD_EDIT_MENUS 40004
#define CMD_ABOUT 40005
#define CMD_EXIT 40006
#define CMD_TIME 40008

#define IDC_STATIC (-1)

// Options dialog (101)
#define IDC_STAY_ON_TOP 1000
#define IDC_CHIME_HOURLY 1001
#define IDC_CHIME_WAV 1003

// The address users write to, in the first-run thanks box and the About box.
#define KELMAR_CONTACT_ADDRESS "kelmar@example.org"

// The catalogue editor's controls.
#define IDC_APPS_LIST 1002
#define IDC_MENUS_LIST 1004
#define IDC_NEW_MENU 1007
#define IDC_NEW_APP 1008
#define IDC_APP_WORKDIR 1009
#define IDC_APP_NAME 1010
#define IDC_DELETE_MENU 1011
#define IDC_DELETE_APP 1012
#define IDC_APP_PARAMS 1013
#define IDC_APP_PATH 1014
#define IDC_MENU_NAME 1015
