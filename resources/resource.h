/* Resource and control IDs shared by the resource scripts and the code. */
#pragma once

/* String table ------------------------------------------------------------ */
#define IDS_SUCCESS 3
#define IDS_NO_SETTINGS 4
#define IDS_HOST_NOT_RESOLVED 5
#define IDS_NO_MEMORY 6
#define IDS_TCPIP 7
#define IDS_FILE_OPERATION 8
#define IDS_GENERIC 9
#define IDS_FTP_NOT_ENABLED 10
#define IDS_FTP_REJECTED 11
#define IDS_LOGIN_FAILED 12
#define IDS_NO_ACCOUNT_SPACE 13
#define IDS_NO_SERVICE 14
#define IDS_NEED_ACCOUNT 15
#define IDS_NAME_NOT_ALLOWED 16
#define IDS_CANNOT_CONNECT 17
#define IDS_READY 18
#define IDS_NO_SERVER_SPACE 19
#define IDS_TIP_FIRST 20      /* tips 0..15 are 20..35; tip 10 shows 31 */
#define IDS_TUTORIAL_FIRST 38 /* pages 0..6 are 38..44 */
#define IDS_SOURCE_OPEN 45
#define IDS_DEST_OPEN 46
#define IDS_NAME_NOT_SHOWN 47
#define IDS_RENAME_REFUSED 48
#define IDS_TLS_REFUSED 49
#define IDS_TLS_FAILED 50

/* Error window ERRORDLG ----------------------------------------------------- */
#define IDC_ERROR_HEADING 1077
#define IDC_ERROR_NOQUIET 1078
#define IDC_ERROR_MESSAGE 1080
#define IDC_ERROR_NOTICE 1146
#define IDC_ERROR_VIEWLOG 2

/* Main window MAINDIALOG ---------------------------------------------------- */
#define IDC_MAIN_LIST 1016
#define IDC_MAIN_PANEL 1107
#define IDC_MAIN_ADD 1003
#define IDC_MAIN_REMOVE 1004
#define IDC_MAIN_PROPERTIES 1005
#define IDC_MAIN_RESTORE 1008
#define IDC_MAIN_SETTINGS 4
#define IDC_MAIN_CLOSE 1135
#define IDC_MAIN_ENABLED 1006
#define IDC_MAIN_DISABLED 1007
#define IDC_MAIN_STATUS 2

/* Commands of the main window's menus --------------------------------------- */
#define IDM_EXIT 2
#define IDM_SETTINGS 4
#define IDM_ADD 1003
#define IDM_REMOVE 1004
#define IDM_PROPERTIES 1005
#define IDM_RESTORE 1008
#define IDM_HIDE 1135
#define IDM_ABOUT 40002
#define IDM_HELP 40003
#define IDM_SYNCHRONIZE 40005
#define IDM_TRAY_EXIT 40013
#define IDM_TRAY_ENABLED 40014
#define IDM_SHOW_REPLIES 40016
#define IDM_SUPPORT 40017
#define IDM_BROWSE_FOLDER 40025
#define IDM_STOP_ALL 40028
#define IDM_RETRY_NOW 40030 /* main and tray menus, while retrying failed copies is on */

/* Folder transfer progress window TRANSFERDIRECTORY ------------------------- */
#define IDC_PROGRESS_DISK_GROUP 1138
#define IDC_PROGRESS_DISK_FILE 1081
#define IDC_PROGRESS_DISK_FILELABEL 1139
#define IDC_PROGRESS_DISK_BAR 1086
#define IDC_PROGRESS_DISK_BARLABEL 1142
#define IDC_PROGRESS_DISK_TOTAL 1077
#define IDC_PROGRESS_DISK_TOTALLABEL 1143
#define IDC_PROGRESS_DISK_STOP 2
#define IDC_PROGRESS_FTP_GROUP 1137
#define IDC_PROGRESS_FTP_FILE 1082
#define IDC_PROGRESS_FTP_FILELABEL 1136
#define IDC_PROGRESS_FTP_BAR 1087
#define IDC_PROGRESS_FTP_BARLABEL 1140
#define IDC_PROGRESS_FTP_TOTAL 1078
#define IDC_PROGRESS_FTP_TOTALLABEL 1141
#define IDC_PROGRESS_FTP_STOP 3

/* Add File or Folder ADDFILEFOLDER ------------------------------------------ */
#define IDC_ADD_FOLDER 1053
#define IDC_ADD_BROWSEFOLDERS 5
#define IDC_ADD_ISFILE 1003
#define IDC_ADD_FILE 1052
#define IDC_ADD_BROWSEFILES 3

/* Item property pages FTPPROPERTIES, HDPROPERTIES, FOLDEROPTIONS, FILEOPTIONS */
#define IDC_FTP_ENABLE 1017
#define IDC_FTP_NAME 1020
#define IDC_FTP_ADDRESS 1019
#define IDC_FTP_PORT 1021
#define IDC_FTP_FOLDER 1022
#define IDC_FTP_USER 1024
#define IDC_FTP_PASSWORD 1025
#define IDC_FTP_ANONYMOUS 1038
#define IDC_FTP_PASSIVE 1147
#define IDC_FTP_SAFEUPLOAD 1148
#define IDC_FTP_TLS 1149
#define IDC_FTP_TLSFINGERPRINT 1150
#define IDC_FTP_TLSREFUSED 1151
#define IDC_FTP_TLSTRUST 1152
#define IDC_FTP_STORAGE 1051
#define IDC_FTP_LIST 1125
#define IDC_FTP_QUICK 1120
#define IDC_FTP_ADDNEW 1126
#define IDC_FTP_REMOVE 1127
#define IDC_TARGET_GO 1121
#define IDC_TARGET_SAVE 1128
#define IDC_HD_ENABLE 1018
#define IDC_HD_FOLDER 1023
#define IDC_HD_BROWSE 3
#define IDC_HD_STORAGE 1052
#define IDC_HD_LIST 1131
#define IDC_HD_QUICK 1132
#define IDC_HD_ADDNEW 1133
#define IDC_HD_REMOVE 1134
#define IDC_OPT_EXCLUDETEMP 1058
#define IDC_OPT_INCLUDESUBS 1059
#define IDC_OPT_DELETESTORED 1060
#define IDC_OPT_SIZELIMIT 1070

/* Restore dialog RESTORE ----------------------------------------------------- */
#define IDC_RESTORE_LIST 1016
#define IDC_RESTORE_RESTORE 1062
#define IDC_RESTORE_REMOVE 1004
#define IDC_RESTORE_REMOVEALL 1005

/* Settings dialog SETTINGS --------------------------------------------------- */
#define IDC_SET_LOGGING 1064
#define IDC_SET_VIEWBACKUP 1059
#define IDC_SET_VIEWERROR 1060
#define IDC_SET_CLEARBACKUP 1071
#define IDC_SET_CLEARERROR 1072
#define IDC_SET_NOERRORS 1078
#define IDC_SET_RESTOREFOLDER 1082
#define IDC_SET_BROWSE 5
#define IDC_SET_TIPS 1065
#define IDC_SET_SPLASH 1066
#define IDC_SET_RESETSIZE 1114
#define IDC_SET_RETRYFAILED 1160
#define IDC_SET_CATCHUP 1161

/* FTP replies window SERVEROUTPUT -------------------------------------------- */
#define IDC_REPLIES_TEXT 1039
#define IDC_REPLIES_CLEAR 1084
#define IDC_REPLIES_CLOSE 1
#define IDC_REPLIES_SAVE 2

/* Tips TIPS and tutorial TUTORIAL -------------------------------------------- */
#define IDC_TIPS_TEXT 1091
#define IDC_TIPS_DONTSHOW 1078
#define IDC_TUT_TEXT 1091
#define IDC_TUT_CLOSE 2
#define IDC_TUT_NEXT 3
#define IDC_TUT_BACK 4
#define IDC_TUT_SHOWAGAIN 1113
#define IDC_TUT_SHOWTIPS 1114

/* About box ABOUT (its title panel is control 1107, as in the main window) ---- */
#define IDC_ABOUT_PANEL 1107
