// When a list view first painted: its window procedure is wrapped, and the first WM_PAINT it has
// handled marks the time. One list view at a time.
#pragma once

#include <windows.h>

struct ListPaint {
    HWND list;
    bool painted;
    double paintedAt;  // Milliseconds() when that first WM_PAINT returned
    int rows;          // the rows it held then
    double closedAt;   // Milliseconds() when its dialog was told to close
    bool destroyed;
};

// Watches this list view from now on.
void WatchList(HWND list);
// Watches the next list view this thread creates, before it has handled any message, and closes
// its dialog with the command closeWith (IDOK or IDCANCEL) once it has painted, or cancels it
// after limitMs when it never does. Ends with StopWatchingDialogs.
void WatchNextDialogList(DWORD limitMs, WPARAM closeWith);
void StopWatchingDialogs();
const ListPaint& WatchedList();
