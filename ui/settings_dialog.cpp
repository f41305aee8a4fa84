#include "ui/settings_dialog.h"

// Temporary: ends on OK and Cancel until the list of bindings is built.
INT_PTR CALLBACK SettingsDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM)
{
    if (message == WM_INITDIALOG) {
        return TRUE;
    }
    if (message == WM_COMMAND && (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL)) {
        EndDialog(dialog, LOWORD(wParam));
        return TRUE;
    }
    return FALSE;
}

int FormatKeyCode(KeyCode, wchar_t* text)
{
    text[0] = L'\0';
    return 1;
}
