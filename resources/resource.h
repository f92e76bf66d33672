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
