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
#define IDS_TIP_FIRST 20       /* tips 0..15 are 20..35; tip 10 shows 31 */
#define IDS_TUTORIAL_FIRST 38  /* pages 0..6 are 38..44 */
#define IDS_SOURCE_OPEN 45
#define IDS_DEST_OPEN 46

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
