// The numbers of the program's texts: one string table in each language (res/lang/<language>.rc).
// Apart from resource.h, since the voice engine says things too but knows no dialog control.
#pragma once

#define IDS_HELP_FOLDER 3000  // the help page's folder below help\, none for English
// The buttons' names and tooltips, in slot order.
#define IDS_BUTTON_PLAY 3001
#define IDS_BUTTON_PAUSE 3002
#define IDS_BUTTON_STOP 3003
#define IDS_BUTTON_RECORD 3004
#define IDS_BUTTON_SEND 3005
#define IDS_INPUT_LEVEL 3010
#define IDS_POSITION 3011
#define IDS_POSITION_VALUE 3012
#define IDS_BUTTON_BAR 3013
#define IDS_INPUT_LEVEL_VALUE 3014
#define IDS_STATUS_RECORDING 3020
#define IDS_STATUS_RECORDING_PAUSED 3021
#define IDS_STATUS_NO_SOUND 3022
#define IDS_STATUS_PLAYING 3023
#define IDS_STATUS_PLAYING_PAUSED 3024
#define IDS_STATUS_MIC_STOPPED 3025
#define IDS_STATUS_DISK_ALMOST_FULL 3026
#define IDS_STATUS_READY 3027  // only spoken: the line itself stays empty
#define IDS_SHUTDOWN_REASON 3030
#define IDS_CAPTION_ERROR 3031
#define IDS_CALL_FAILED 3032
#define IDS_ERROR_CREATE_FILE 3033
#define IDS_ERROR_OPEN_FILE 3034
#define IDS_ERROR_COPY_FILE 3035
#define IDS_ERROR_SAVE 3036
#define IDS_MIC_NONE 3040
#define IDS_MIC_IN_USE 3041
#define IDS_MIC_CANNOT_USE 3042
#define IDS_MIC_OFFER_SETTINGS 3043
#define IDS_MAIL_NOT_TAKEN 3044
#define IDS_LEFT_BEHIND_OFFER 3045
#define IDS_ABOUT_CAPTION 3046
#define IDS_ABOUT_TEXT 3047
#define IDS_SAVE_TYPE_PLAYABLE 3050
#define IDS_SAVE_TYPE_ORIGINAL 3051
#define IDS_DISK_FULL_RECORDING 3052
#define IDS_WRITE_FAILED_RECORDING 3053
#define IDS_DISK_LOW_AT_RECORD 3054
#define IDS_DISK_FULL_HANDOVER 3055
#define IDS_CONVERT_FAILED 3056
#define IDS_SLEEP_STOPPED 3057
#define IDS_FIRST 3000  // every text lies from here
#define IDS_LAST 3057   // to here
