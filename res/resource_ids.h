// Resource and command ids shared by the resource script and the code.
#pragma once

#define IDD_SETTINGS 101
#define IDD_ITEM_EDITOR 102

// Settings dialog (101)
#define IDC_HOTKEY_LIST 1000
#define IDC_ADD_ITEM 1001
#define IDC_EDIT_ITEM 1002
#define IDC_DELETE_ITEM 1003
#define IDC_ROW_REASON 1004  // created at run time, below the list
#define IDC_PAUSE_FULLSCREEN 1005

// Item editor (102)
#define IDC_HOTKEY 1000
#define IDC_WIN_KEY 1001
#define IDC_COMMAND 1002
#define IDC_CHOOSE_FILE 1003
#define IDC_CHOOSE_COMMAND 1004
#define IDC_PARAM 1005
#define IDC_PLACE_MODE 1006
#define IDC_PLACE_PROGRAMS 1007
#define IDC_CHOOSE_PROGRAM 1008
#define IDC_PLACE_EXCEPT_PROGRAMS 1009

// Command picker (template built in memory)
#define IDC_PICKER_TREE 1000
#define IDC_PICKER_LIST 1001
#define IDC_PICKER_REFERENCE 1002

// Requests the command router sends the hotkey window.
#define IDM_ENABLE 40001
#define IDM_OPTION 40002

#define TESSEL_VERSION_NUMBERS 1, 5, 0, 0
#define TESSEL_VERSION_TEXT "1.5.0.0"
