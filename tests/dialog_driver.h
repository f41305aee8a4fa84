// Reading and working the common controls of a dialog from a test that runs inside its modal
// loop (see TestHost::OnWindow): list view rows, tree entries, the hot-key control, keys sent
// to the dialog, and a picture of a window.
#pragma once

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

// The texts of every row of a report list view, each row's columns 0 to columns - 1.
std::vector<std::vector<std::wstring>> ListRows(HWND list, int columns);
// One column of every row.
std::vector<std::wstring> ListColumn(HWND list, int column);
// The first selected row, or -1.
int SelectedListRow(HWND list);
// Selects and focuses the row, as a click on it would; the list tells its dialog.
void SelectListRow(HWND list, int row);
// Leaves no row selected.
void ClearListSelection(HWND list);
// A double-click at the middle of the row's label, which selects the row first.
void DoubleClickListRow(HWND list, int row);
// A double-click below the last row, where no row is.
void DoubleClickListBlank(HWND list);
// Whether the row is within the part of the list that shows.
bool IsListRowInView(HWND list, int row);
// The text colour of every row as the list's dialog answers its custom draw in a paint of the
// whole list; CLR_NONE for a row that was not drawn.
std::vector<COLORREF> ListRowTextColours(HWND list);
// The info tip the list's dialog gives for the row when the pointer rests on it.
std::wstring ListInfoTip(HWND list, int row);

// The texts of the top-level entries of a tree view, in order.
std::vector<std::wstring> TreeEntries(HWND tree);
// The text of the selected entry, or "(none)".
std::wstring SelectedTreeEntry(HWND tree);
// Selects the index-th top-level entry as the caret, which notifies the dialog.
void SelectTreeEntry(HWND tree, int index);

// The value of the hot-key control with this id: virtual key in the low byte, flags above.
WORD HotkeyValue(HWND dialog, int id);
void SetHotkeyValue(HWND dialog, int id, WORD value);
bool IsChecked(HWND dialog, int id);
void SetChecked(HWND dialog, int id, bool checked);
bool IsItemEnabled(HWND dialog, int id);

// Posts a key press to a control of the dialog; the dialog's loop handles it (Esc, Enter).
void PostKey(HWND control, WORD key);
// Sends a key press straight to a control, as the dialog's loop hands it on (arrows, Delete);
// returns when the control and its dialog have handled it.
void SendKey(HWND control, WORD key);

// The icon a message box shows, or null.
HICON MessageBoxIcon(HWND box);

// Copies what the screen shows of the window into a 24-bit BMP file.
bool SaveWindowPicture(HWND window, const std::wstring& path);

// Runs the action once an open-file dialog of this thread shows, with the box that takes the
// file name; its caption depends on the system's language, so it is found by its controls.
// Polled from a thread timer; fails the test and gives up after the time.
void OnOpenFileDialog(std::function<void(HWND dialog, HWND fileName)> action, int timeoutMs = 5000);
