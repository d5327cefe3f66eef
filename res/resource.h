// Resource and control numbers shared by the resource script and the code. The texts' numbers
// are res/texts.h.
#pragma once

#define IDD_MAIN 101
#define IDR_MAIN_MENU 103
#define IDI_POSTCARD 104
#define IDI_ENVELOPE 105
#define IDR_SHORTCUTS 106

// Button pictures: normal, pressed, disabled.
#define IDB_PLAY 102
#define IDB_PLAY_DISABLED 103
#define IDB_PLAY_PRESSED 104
#define IDB_PAUSE 105
#define IDB_PAUSE_DISABLED 106
#define IDB_PAUSE_PRESSED 107
#define IDB_STOP 108
#define IDB_STOP_DISABLED 109
#define IDB_STOP_PRESSED 110
#define IDB_RECORD_DISABLED 112
#define IDB_RECORD 113
#define IDB_RECORD_PRESSED 1001
#define IDB_SEND 1002
#define IDB_SEND_DISABLED 1003
#define IDB_SEND_PRESSED 1004

// Controls of the main dialog.
#define IDC_BUTTON_BAR 1001
#define IDC_SLIDER 1002
#define IDC_HOME_LINK 1003
#define IDC_TIME_READOUT 1006
#define IDC_SIZE_READOUT 1007
#define IDC_STATUS 1008
#define IDC_LEVEL_METER 1009
#define IDC_LEVEL_LABEL 1010

// Commands: menu items and bar buttons share them; a button's is 40004 plus its slot.
#define IDM_EXIT 40003
#define IDM_PLAY 40004
#define IDM_PAUSE 40005
#define IDM_STOP 40006
#define IDM_RECORD 40007
#define IDM_SEND 40008
#define IDM_ABOUT 40010
#define IDM_HELP 40011
#define IDM_SAVE_AS 40012
#define IDM_COPY 40013
// The Action menu's Microphone submenu: Default, then one item per input device.
#define IDM_MICROPHONE_DEFAULT 40020
#define IDM_MICROPHONE_FIRST 40021
#define IDM_MICROPHONE_LAST 40084

// The maker's site: a click on the link opens its root; the caption names the product page.
#define KESTRUNE_SITE "https://kestrune.net"
#define KESTRUNE_PRODUCT_PAGE "https://kestrune.net/kestrune.html"
