// SPDX-License-Identifier: Apache-2.0
// Numbers of the program's resources and of the controls in its dialogs, shared by the
// resource script and the code. The counters and texts of the progress window are numbered
// as ui::Field in base/progress_view.h; their values are repeated here for the script.
#pragma once

// Dialogs, strings, icons, the banner and the menu of the application window class.
#define IDD_ABOUT 103
#define IDS_APP_TITLE 103
#define IDI_CORVIO 107
#define IDI_SMALL 108
#define IDC_CORVIO 109
#define IDM_EXIT 105
#define IDD_MAIN 129
#define IDD_PROGRESS 130
#define IDB_BANNER 134
#define IDD_THROTTLING 135
#define IDD_PROFILE_EDITOR 137
#define IDD_RULE 138

// Main window (129).
#define IDC_PROFILE_LIST 1001
#define IDC_NEW 1002
#define IDC_DELETE 1033
#define IDC_ABOUT 1035
#define IDC_HELP_BUTTON 1036
#define IDC_EDIT_PROFILE 1055

// About box (103) and the progress window's version line.
#define IDC_VERSION 1045

// Progress window (130).
#define IDC_PROFILE_NAME 1004
#define IDC_TAG_NAME 1005
#define IDC_PAUSE 1008
#define IDC_LOGS 1009
#define IDC_THROTTLING 1010
#define IDC_DIRECTORY 1012
#define IDC_FILENAME 1013
#define IDC_FILE_SIZE 1014
#define IDC_FILE_PROGRESS 1015
#define IDC_BLOCK_TEXT 1016
#define IDC_SENT 1017
#define IDC_DIRECTORIES 1018
#define IDC_FILES 1019
#define IDC_FILES_SKIPPED 1020
#define IDC_BYTES_TOTAL 1021
#define IDC_BYTES_SKIPPED 1022
#define IDC_BYTES_STORED 1023
#define IDC_BYTES_COMPRESSED 1024
#define IDC_BLOCKS_TOTAL 1025
#define IDC_NET_TX 1026
#define IDC_BLOCKS_STORED 1027
#define IDC_BLOCKS_DUPED 1028
#define IDC_TX_RATE 1029
#define IDC_NET_RX 1030
#define IDC_RX_RATE 1031
#define IDC_START_TIME 1032
#define IDC_ELAPSED 1033
#define IDC_STATUS 1034

// Throttling controls, in the throttling dialog (135) and the profile editor (137).
#define IDC_PRIORITY 1035
#define IDC_TX_RATE_LIMIT 1036
#define IDC_RX_RATE_LIMIT 1037
#define IDC_TX_UNIT 1038
#define IDC_RX_UNIT 1039
#define IDC_TX_ENABLE 1040
#define IDC_RX_ENABLE 1041
#define IDC_FILE_DELAY 1042
#define IDC_BLOCK_DELAY 1043
#define IDC_APPLY 1044

// Profile editor (137).
#define IDC_RULE_LIST 1001
#define IDC_DESCRIPTION 1004
#define IDC_TAG 1005
#define IDC_LOGIN 1046
#define IDC_PASSWORD 1047
#define IDC_SERVER 1048
#define IDC_PORT 1049
#define IDC_RULE_ADD 1053
#define IDC_RULE_REMOVE 1054
#define IDC_RULE_EDIT 1055
#define IDC_REFRESH 1064
#define IDC_SHADOW_COPY 1065

// Rule dialog (138).
#define IDC_RULE_PATH 1059
#define IDC_BROWSE_PATH 1060
#define IDC_RULE_MODE 1061
#define IDC_BROWSE_FILE 1063
