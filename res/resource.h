// Resource and control identifiers, shared by the resource script, the Win32 shell and the
// portable view (plain #defines only, so that every part can include it).
#pragma once

// Dialogs
#define IDD_ABOUTBOX 100
#define IDD_FORMVIEW 101
#define IDD_RELAYED 102
#define IDD_CHOOSE 103

// Frame: menu, accelerators, icon and document template string
#define IDR_MAINFRAME 128
#define IDI_SECOND 129
#define IDR_TRAY 133

// Bitmaps
#define IDB_LAMP_OFF 130
#define IDB_LAMP_ON 131
#define IDB_BADGE 132

// Controls of the form
#define IDC_LOGGER_LAMP 1000
#define IDC_DECODER_LAMP 1001
#define IDC_NO_FREQ 1002
#define IDC_BADGE 1003
#define IDC_STATUS 1004

// Controls of the Relayed Contacts window
#define IDC_RELAYED_FILTER 1010
#define IDC_RELAYED_LIST 1011
#define IDC_RELAYED_COUNT 1012
#define IDC_SEND_AGAIN 1013
#define IDC_OPEN_FOLDER 1014
#define IDC_ONLY_DOUBLES 1015

// Controls of the box that asks with answers of its own: the question and up to three buttons
#define IDC_CHOOSE_TEXT 1020
#define IDC_ANSWER_FIRST 1021

// Strings
#define AFX_IDS_APP_TITLE 57344
#define IDS_SOURCE_EMPTY 61204

// Commands of the program's own
#define ID_FILE_SEND_LOG 32771
#define ID_FILE_RELAYED 32772
#define ID_TRAY_SHOW 32773
#define ID_TRAY_MINIMIZE 32774

// Commands (the framework's standard ids)
#define ID_FILE_NEW 57600
#define ID_FILE_OPEN 57601
#define ID_FILE_CLOSE 57602
#define ID_FILE_SAVE 57603
#define ID_FILE_SAVE_AS 57604
#define ID_FILE_MRU_FILE1 57616
#define ID_EDIT_CLEAR 57632
#define ID_EDIT_COPY 57634
#define ID_EDIT_CUT 57635
#define ID_EDIT_PASTE 57637
#define ID_EDIT_UNDO 57643
#define ID_APP_ABOUT 57664
#define ID_APP_EXIT 57665
#define ID_NEXT_PANE 57680
#define ID_PREV_PANE 57681
