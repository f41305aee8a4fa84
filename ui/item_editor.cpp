#include "ui/item_editor.h"

INT_PTR CALLBACK ItemEditorDialogProc(HWND, UINT, WPARAM, LPARAM)
{
    return FALSE;
}

int ChooseExecutableFile(HWND, wchar_t*)
{
    return 0;
}
