// How the settings list shows bindings that will not fire: grey rows, the reason in the row's
// info tip for the mouse, and the reason of the selected row in a line below the list, which
// the keyboard reaches and Wine's list (which shows no info tips) leaves in view.
#pragma once

#include <windows.h>

#include <commctrl.h>

#include "hotkeys/hotkey_table.h"

// Creates the reason line in the free space left of OK, in the dialog's font.
void CreateReasonLine(HWND dialog);

// The reason of the selected row when it will not fire; the empty text otherwise.
void ShowSelectedRowReason(HWND dialog, HotkeyTable table);

// The list's custom draw: the result for the stage, rows that will not fire in grey.
LRESULT DrawFaultyRows(HWND dialog, HotkeyTable table, NMLVCUSTOMDRAW* draw);

// Adds the reason of a row that will not fire to its info tip.
void AddReasonToInfoTip(HWND dialog, HotkeyTable table, NMLVGETINFOTIPW* tip);
