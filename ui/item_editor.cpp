#include "ui/item_editor.h"

#include <commctrl.h>
#include <commdlg.h>

#include "base/bounded_text.h"
#include "base/heap_block.h"
#include "base/system_libraries.h"
#include "res/resource_ids.h"
#include "ui/binding_check.h"
#include "ui/command_picker.h"
#include "ui/program_place.h"
#include "base/key_text.h"

namespace {

// The context of the open editor; only one editor is open at a time.
EditorContext* editorContext;

// The hot-key control holds the virtual key and its own four modifier flags; the Windows key
// lives in the check box.
constexpr KeyCode HOTKEY_CONTROL_BITS = 0x0FFF;

// Plug-in commands the host shows in its menus.
constexpr uint32_t PICKER_MENU_FILTER = 4;

// The fields hold no more than a binding stores, so the user sees where the text ends.
constexpr int FIELD_TEXT_LIMIT = TEXT_CAPACITY - 1;

// The id the template gives the labels.
constexpr WORD LABEL_ID = 0xFFFF;

constexpr int CAPTION_CAPACITY = 64;

// A question: the key as the list writes it (at most 99 characters) and the question's own text,
// with at most two quoted lists of programs.
constexpr int QUESTION_CAPACITY = 384;

// A message about the programs: a quoted name and its own text.
constexpr int MESSAGE_CAPACITY = 256;

// Room for any path the system can name, so the open-file dialog never runs short of it; what a
// binding cannot hold is refused after the dialog.
constexpr DWORD CHOSEN_PATH_CAPACITY = 32768;

// A screen reader names a field after the label just before it in the window order, but the
// template puts the labels last: those of the command, the param, the hotkey, the place and the
// programs kept out, in this order.
// Labels are no tab stops, so moving them leaves the tab order as it is.
void PlaceLabelsBeforeFields(HWND dialog)
{
    static const int namedFields[] = {IDC_COMMAND, IDC_PARAM, IDC_HOTKEY, IDC_PLACE_MODE, IDC_PLACE_EXCEPT_PROGRAMS};
    size_t named = 0;
    HWND child = GetWindow(dialog, GW_CHILD);
    while (child != nullptr && named < ARRAYSIZE(namedFields)) {
        const HWND next = GetWindow(child, GW_HWNDNEXT);
        if (LOWORD(GetDlgCtrlID(child)) == LABEL_ID) {
            const HWND before = GetWindow(GetDlgItem(dialog, namedFields[named++]), GW_HWNDPREV);
            SetWindowPos(child, before != nullptr ? before : HWND_TOP, 0, 0, 0, 0,
                         SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE | SWP_NOOWNERZORDER);
        }
        child = next;
    }
}

INT_PTR OnInitDialog(HWND dialog, EditorContext* context)
{
    editorContext = context;
    SendDlgItemMessageW(dialog, IDC_COMMAND, EM_LIMITTEXT, FIELD_TEXT_LIMIT, 0);
    SendDlgItemMessageW(dialog, IDC_PARAM, EM_LIMITTEXT, FIELD_TEXT_LIMIT, 0);
    PlaceLabelsBeforeFields(dialog);
    const HotkeyItem& item = context->item;
    ShowProgramPlace(dialog, context->programs);
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

bool SameLists(ProgramLists left, ProgramLists right)
{
    return lstrcmpW(left.only, right.only) == 0 && lstrcmpW(left.except, right.except) == 0;
}

// Taken where the earlier bindings of the combination fire wherever this one would, by the rule
// the list greys repeats with, or where this one would take every press from a later binding. An
// edited binding may keep its own combination and programs.
bool IsKeyTaken(KeyCode key, ProgramLists programs)
{
    const KeyCode original = editorContext->item.key;
    if (original != 0 && CombinationIndex(original) == CombinationIndex(key) &&
        SameLists(programs, editorContext->programs)) {
        return false;
    }
    const PlannedBinding planned = {editorContext->row, key, programs};
    return RowFiringInstead(editorContext->workTable, planned) != -1 ||
           SilencesLaterRow(editorContext->workTable, planned);
}

// After a refusal or a No the user chooses another combination, so the hot-key control takes
// the focus rather than the field that had it before the message.
void ReturnToHotkey(HWND dialog)
{
    SendMessageW(dialog, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(GetDlgItem(dialog, IDC_HOTKEY)), TRUE);
}

void Refuse(HWND dialog, const wchar_t* message)
{
    MessageBoxW(dialog, message, nullptr, MB_OK);
    ReturnToHotkey(dialog);
}

// The messages of this editor's own carry its caption and a warning, not the system's "Error".
int WarnOf(HWND dialog, const wchar_t* text, UINT buttons = MB_OK)
{
    wchar_t caption[CAPTION_CAPACITY] = {};
    GetWindowTextW(dialog, caption, CAPTION_CAPACITY);
    return MessageBoxW(dialog, text, caption, buttons | MB_ICONWARNING);
}

// The question names the key it asks about, and No is its default: a hasty Enter keeps the
// binding out rather than in.
bool ConfirmCombination(HWND dialog, KeyCode key, const wchar_t* question)
{
    wchar_t keyText[KEY_TEXT_CAPACITY] = {};
    FormatKeyCode(key, keyText);
    wchar_t text[QUESTION_CAPACITY] = {};
    FormatText(text, QUESTION_CAPACITY, L"「%ls」は、%ls", keyText, question);
    if (WarnOf(dialog, text, MB_YESNO | MB_DEFBUTTON2) == IDYES) {
        return true;
    }
    ReturnToHotkey(dialog);
    return false;
}

// Without Ctrl, Alt or the Windows key, a key that types a character (Shift or not) would be
// taken from typing wherever the binding fires; function, media and other keys alone are fine.
bool KeepsTypingKey(HWND dialog, KeyCode key, ProgramLists programs)
{
    const bool typesAlone = (key & (KEY_CONTROL | KEY_ALT | KEY_WIN)) == 0 &&
                            MapVirtualKeyW(key & VIRTUAL_KEY_BITS, MAPVK_VK_TO_CHAR) != 0;
    if (!typesAlone) {
        return true;
    }
    wchar_t place[QUESTION_CAPACITY] = {};
    FormatTypingPlace(place, QUESTION_CAPACITY, programs);
    wchar_t question[QUESTION_CAPACITY] = {};
    FormatText(question, QUESTION_CAPACITY, L"%ls入力に使えなくなります。このまま登録しますか？", place);
    return ConfirmCombination(dialog, key, question);
}

// A row that cannot be taken as it stands is told of, and its field takes the focus.
bool TakesProgramPlace(HWND dialog)
{
    wchar_t message[MESSAGE_CAPACITY] = {};
    const int field = FindPlaceFault(dialog, message, MESSAGE_CAPACITY);
    if (field == 0) {
        return true;
    }
    WarnOf(dialog, message);
    SendMessageW(dialog, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(GetDlgItem(dialog, field)), TRUE);
    return false;
}

// A combination that Windows or another program holds never fires; the user may still want it,
// for the day it is let go.
bool KeepsHeldCombination(HWND dialog, KeyCode key)
{
    return !IsCombinationHeld(dialog, key) ||
           ConfirmCombination(dialog, key, L"Windowsか他のプログラムが使用中のhotkeyです。このまま登録しますか？");
}

void OnOk(HWND dialog)
{
    KeyCode key = ReadKeyCode(dialog);
    // Modifiers without a key make a binding that can never fire.
    if ((key & VIRTUAL_KEY_BITS) == 0) {
        Refuse(dialog, L"hotkeyを入力してください");
        return;
    }
    if (IsDlgButtonChecked(dialog, IDC_WIN_KEY) != BST_UNCHECKED) {
        key |= KEY_WIN;
    }
    if (!TakesProgramPlace(dialog)) {
        return;
    }
    ProgramLists programs = ANY_PROGRAM;
    wchar_t* listsBlock = ReadProgramPlace(dialog, &programs);
    if (listsBlock == nullptr) {
        MessageBeep(0);
        return;
    }
    if (IsKeyTaken(key, programs)) {
        ReleaseBlock(listsBlock);
        Refuse(dialog, L"登録済みのhotkeyです");
        return;
    }
    // A binding that keeps its own key was asked about when it got it.
    if ((key != editorContext->item.key && !KeepsTypingKey(dialog, key, programs)) ||
        !KeepsHeldCombination(dialog, key)) {
        ReleaseBlock(listsBlock);
        return;
    }
    HotkeyItem& item = editorContext->item;
    item.key = key;
    GetDlgItemTextW(dialog, IDC_COMMAND, item.command, TEXT_CAPACITY);
    GetDlgItemTextW(dialog, IDC_PARAM, item.param, TEXT_CAPACITY);
    editorContext->programs = programs;
    editorContext->listsBlock = listsBlock;
    EndDialog(dialog, IDOK);
}

void OnChooseFile(HWND dialog)
{
    wchar_t path[TEXT_CAPACITY] = {};
    if (ChooseExecutableFile(dialog, path) == 1) {
        SetDlgItemTextW(dialog, IDC_COMMAND, path);
    }
}

// The picker opens on the command the field holds, so that Enter there changes nothing.
void OnChooseCommand(HWND dialog)
{
    wchar_t current[TEXT_CAPACITY] = {};
    GetDlgItemTextW(dialog, IDC_COMMAND, current, TEXT_CAPACITY);
    wchar_t reference[TEXT_CAPACITY] = {};
    PickerRequest request = {};
    request.flags = PICK_REFERENCE;
    request.plugins = editorContext->plugins;
    request.referenceBuffer = reference;
    request.referenceCapacity = TEXT_CAPACITY;
    request.menuFilter = PICKER_MENU_FILTER;
    request.current = current;

    const HGLOBAL block = AllocateGlobalBlock(PICKER_TEMPLATE_BLOCK_SIZE);
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
    case IDC_PLACE_MODE:
    case IDC_CHOOSE_PROGRAM:
        OnProgramPlaceCommand(dialog, id);
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
    auto* chosen = static_cast<wchar_t*>(AllocateBlock(CHOSEN_PATH_CAPACITY * sizeof(wchar_t)));
    if (chosen == nullptr) {
        MessageBeep(0);
        return 0;
    }
    OPENFILENAMEW dialog = {};
    dialog.lStructSize = sizeof(dialog);
    dialog.hwndOwner = owner;
    dialog.lpstrFilter = filter;
    dialog.lpstrFile = chosen;
    dialog.nMaxFile = CHOSEN_PATH_CAPACITY;
    dialog.Flags = OFN_HIDEREADONLY | OFN_NOCHANGEDIR;
    int result = 0;
    if (ShowOpenFileDialog(&dialog)) {
        if (TextLength(chosen) < TEXT_CAPACITY) {
            CopyText(path, TEXT_CAPACITY, chosen);
            result = 1;
        } else {
            WarnOf(owner, L"ファイルのパスが長すぎます。259文字までのパスを選んでください。");
        }
    }
    ReleaseBlock(chosen);
    return result;
}
