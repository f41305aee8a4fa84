#include "ui/item_editor.h"

#include <commctrl.h>
#include <commdlg.h>

#include "plugin/bounded_text.h"
#include "plugin/system_libraries.h"
#include "res/resource_ids.h"
#include "ui/binding_check.h"
#include "ui/command_picker.h"

namespace {

// The context of the open editor; only one editor is open at a time.
EditorContext* editorContext;

// The hot-key control holds the virtual key and its own four modifier flags; the Windows key
// lives in the check box.
constexpr KeyCode HOTKEY_CONTROL_BITS = 0x0FFF;

// Plug-in commands the host shows in its menus.
constexpr uint32_t PICKER_MENU_FILTER = 4;

INT_PTR OnInitDialog(HWND dialog, EditorContext* context)
{
    editorContext = context;
    const HotkeyItem& item = context->item;
    if (item.key == 0) {
        SetWindowTextW(dialog, L"アイテム追加");
        return TRUE;
    }
    SendDlgItemMessageW(dialog, IDC_HOTKEY, HKM_SETHOTKEY, item.key & HOTKEY_CONTROL_BITS, 0);
    SendDlgItemMessageW(dialog, IDC_WIN_KEY, BM_SETCHECK, (item.key & KEY_WIN) != 0 ? BST_CHECKED : BST_UNCHECKED, 0);
    SetDlgItemTextW(dialog, IDC_COMMAND, item.command);
    SetDlgItemTextW(dialog, IDC_PARAM, item.param);
    SetWindowTextW(dialog, L"アイテム編集");
    return TRUE;
}

KeyCode ReadKeyCode(HWND dialog)
{
    return static_cast<KeyCode>(SendDlgItemMessageW(dialog, IDC_HOTKEY, HKM_GETHOTKEY, 0, 0) & HOTKEY_CONTROL_BITS);
}

// An edited binding may keep its own key; any key another binding holds is taken.
bool IsKeyTaken(KeyCode key)
{
    const int found = FindHotkeyItem(editorContext->workTable, key);
    if (found == -1) {
        return false;
    }
    const KeyCode original = editorContext->item.key;
    return original == 0 || found != FindHotkeyItem(editorContext->workTable, original);
}

// A combination that Windows or another program holds never fires; the user may still want it,
// for the day it is let go. No leaves the user in the hot-key control to choose another.
bool KeepsHeldCombination(HWND dialog, KeyCode key)
{
    if (!IsCombinationHeld(dialog, key)) {
        return true;
    }
    const wchar_t* question = L"Windowsか他のプログラムが使用中のhotkeyです。このまま登録しますか？";
    if (MessageBoxW(dialog, question, nullptr, MB_YESNO) == IDYES) {
        return true;
    }
    SendMessageW(dialog, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(GetDlgItem(dialog, IDC_HOTKEY)), TRUE);
    return false;
}

void OnOk(HWND dialog)
{
    KeyCode key = ReadKeyCode(dialog);
    if (key == 0) {
        MessageBoxW(dialog, L"hotkeyを入力してください", nullptr, MB_OK);
        return;
    }
    if (IsDlgButtonChecked(dialog, IDC_WIN_KEY) != BST_UNCHECKED) {
        key |= KEY_WIN;
    }
    if (IsKeyTaken(key)) {
        MessageBoxW(dialog, L"登録済みのhotkeyです", nullptr, MB_OK);
        return;
    }
    if (!KeepsHeldCombination(dialog, key)) {
        return;
    }
    HotkeyItem& item = editorContext->item;
    item.key = key;
    GetDlgItemTextW(dialog, IDC_COMMAND, item.command, TEXT_CAPACITY);
    GetDlgItemTextW(dialog, IDC_PARAM, item.param, TEXT_CAPACITY);
    EndDialog(dialog, IDOK);
}

void OnChooseFile(HWND dialog)
{
    wchar_t path[TEXT_CAPACITY] = {};
    if (ChooseExecutableFile(dialog, path) == 1) {
        SetDlgItemTextW(dialog, IDC_COMMAND, path);
    }
}

void OnChooseCommand(HWND dialog)
{
    wchar_t reference[TEXT_CAPACITY] = {};
    PickerRequest request = {};
    request.flags = PICK_REFERENCE;
    request.plugins = editorContext->plugins;
    request.referenceBuffer = reference;
    request.referenceCapacity = TEXT_CAPACITY;
    request.menuFilter = PICKER_MENU_FILTER;

    const HGLOBAL block = GlobalAlloc(GMEM_FIXED | GMEM_ZEROINIT, PICKER_TEMPLATE_BLOCK_SIZE);
    if (block == nullptr) {
        return;
    }
    if (ShowCommandPicker(dialog, &request, block) == IDOK) {
        SetDlgItemTextW(dialog, IDC_COMMAND, reference);
    }
}

// Every command is answered FALSE, whether handled or not.
INT_PTR OnCommand(HWND dialog, WORD id)
{
    switch (id) {
    case IDOK:
        OnOk(dialog);
        break;
    case IDCANCEL:
        EndDialog(dialog, IDCANCEL);
        break;
    case IDC_CHOOSE_FILE:
        OnChooseFile(dialog);
        break;
    case IDC_CHOOSE_COMMAND:
        OnChooseCommand(dialog);
        break;
    }
    return FALSE;
}

}  // namespace

INT_PTR CALLBACK ItemEditorDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_INITDIALOG:
        return OnInitDialog(dialog, reinterpret_cast<EditorContext*>(lParam));
    case WM_COMMAND:
        return OnCommand(dialog, LOWORD(wParam));
    }
    return FALSE;
}

int ChooseExecutableFile(HWND owner, wchar_t* path)
{
    // Two pairs of display text and pattern, each text terminated, the list ended by one more.
    static const wchar_t filter[] = L"exe file(*.exe)\0*.exe\0all file(*.*)\0*.*\0";
    wchar_t chosen[TEXT_CAPACITY] = {};

    OPENFILENAMEW dialog = {};
    dialog.lStructSize = sizeof(dialog);
    dialog.hwndOwner = owner;
    dialog.lpstrFilter = filter;
    dialog.lpstrFile = chosen;
    dialog.nMaxFile = TEXT_CAPACITY;
    dialog.Flags = OFN_HIDEREADONLY | OFN_NOCHANGEDIR;
    if (!ShowOpenFileDialog(&dialog)) {
        return 0;
    }
    CopyText(path, TEXT_CAPACITY, chosen);
    return 1;
}
