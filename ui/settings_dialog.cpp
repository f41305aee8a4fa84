#include "ui/settings_dialog.h"

#include <commctrl.h>
#include <shlwapi.h>

#include "base/bounded_text.h"
#include "base/heap_block.h"
#include "plugin/plugin_state.h"
#include "res/resource_ids.h"
#include "ui/binding_check.h"
#include "ui/command_reference.h"
#include "ui/dialog_scale.h"
#include "ui/item_editor.h"
#include "base/key_text.h"
#include "ui/program_place.h"
#include "ui/row_faults.h"

namespace {

// The context of the open dialog; the session never opens a second one.
SettingsContext* settingsContext;

// A 259-unit command, a blank and a 259-unit parameter; "[error] " and a command fit as well.
constexpr int INFO_TEXT_CAPACITY = 520;

struct ListColumn {
    const wchar_t* header;
    int width;
};

// The columns in the order of hotkeyColumns.
enum HotkeyColumn { COLUMN_KEY, COLUMN_INFO, COLUMN_COMMAND, COLUMN_PARAM };

// Widths in pixels of a 96 DPI display. The command and param columns start closed; the user
// can drag them open.
const ListColumn hotkeyColumns[] = {
    {L"hotkey", 150},
    {L"info", 250},
    {L"command", 0},
    {L"param", 0},
};

HWND HotkeyList(HWND dialog)
{
    return GetDlgItem(dialog, IDC_HOTKEY_LIST);
}

int SelectedRow(HWND dialog)
{
    return static_cast<int>(
        SendMessageW(HotkeyList(dialog), LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_SELECTED));
}

void EnableRowButtons(HWND dialog, bool enable)
{
    EnableWindow(GetDlgItem(dialog, IDC_EDIT_ITEM), enable);
    EnableWindow(GetDlgItem(dialog, IDC_DELETE_ITEM), enable);
}

void SetCellText(HWND list, int row, HotkeyColumn column, const wchar_t* text)
{
    LVITEMW cell = {};
    cell.iSubItem = column;
    cell.pszText = const_cast<wchar_t*>(text);  // the list copies the text
    SendMessageW(list, LVM_SETITEMTEXTW, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&cell));
}

// The info text, followed by where a binding limited to programs fires; without memory for both,
// the text alone.
void SetInfoText(HWND list, int row, ProgramLists programs, const wchar_t* text)
{
    if (!IsLimited(programs)) {
        SetCellText(list, row, COLUMN_INFO, text);
        return;
    }
    const int capacity = TextLength(text) + PlaceNoteCapacity(programs);
    auto* info = static_cast<wchar_t*>(AllocateBlock(static_cast<SIZE_T>(capacity) * sizeof(wchar_t)));
    if (info == nullptr) {
        SetCellText(list, row, COLUMN_INFO, text);
        return;
    }
    FormatPlaceNote(info, capacity, text, programs);
    SetCellText(list, row, COLUMN_INFO, info);
    ReleaseBlock(info);
}

// A reference that cannot be resolved, also for want of a plug-in list, shows as an error.
void SetReferenceInfo(HWND list, int row, PluginInfo** plugins, const HotkeyItem& item, ProgramLists programs)
{
    const int32_t length = DescribeCommandReference(plugins, item.command, nullptr, 0);
    if (length == -1) {
        wchar_t info[INFO_TEXT_CAPACITY];
        FormatText(info, INFO_TEXT_CAPACITY, L"[error] %ls", item.command);
        SetInfoText(list, row, programs, info);
        return;
    }
    // Short of memory, or refused a text it could not make whole, the row shows the command.
    auto* described = static_cast<wchar_t*>(AllocateBlock((static_cast<SIZE_T>(length) + 1) * sizeof(wchar_t)));
    const bool whole =
        described != nullptr && DescribeCommandReference(plugins, item.command, described, length + 1) == length;
    SetInfoText(list, row, programs, whole ? described : item.command);
    ReleaseBlock(described);
}

void SetInfo(HWND list, int row, PluginInfo** plugins, const HotkeyItem& item, ProgramLists programs)
{
    if (StrChrW(item.command, L'|') != nullptr) {
        SetReferenceInfo(list, row, plugins, item, programs);
        return;
    }
    wchar_t info[INFO_TEXT_CAPACITY];
    if (item.param[0] != L'\0') {
        FormatText(info, INFO_TEXT_CAPACITY, L"%ls %ls", item.command, item.param);
    } else {
        CopyText(info, INFO_TEXT_CAPACITY, item.command);
    }
    SetInfoText(list, row, programs, info);
}

// The row's item data is its BindingFault, which custom draw and the info tip read and settle.
void AppendRow(HWND list, PluginInfo** plugins, const HotkeyItem& item, ProgramLists programs, BindingFault fault)
{
    wchar_t keyText[KEY_TEXT_CAPACITY];
    FormatKeyCode(item.key, keyText);

    LVITEMW row = {};
    row.mask = LVIF_TEXT | LVIF_PARAM;
    row.iItem = static_cast<int>(SendMessageW(list, LVM_GETITEMCOUNT, 0, 0));
    row.pszText = keyText;
    row.lParam = fault;
    const int index = static_cast<int>(SendMessageW(list, LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&row)));
    if (index == -1) {
        return;
    }
    SetInfo(list, index, plugins, item, programs);
    SetCellText(list, index, COLUMN_COMMAND, item.command);
    SetCellText(list, index, COLUMN_PARAM, item.param);
}

void FillHotkeyList(HWND dialog, PluginInfo** plugins, HotkeyTable table)
{
    const HWND list = HotkeyList(dialog);
    SendMessageW(list, LVM_DELETEALLITEMS, 0, 0);
    // Decided afresh at every fill: another program may have taken or freed a combination.
    BindingSurvey survey = BeginBindingSurvey(table);
    const int count = GetHotkeyCount(table);
    for (int i = 0; i < count; ++i) {
        const HotkeyItem* item = GetHotkeyItem(table, i);
        if (item != nullptr) {
            AppendRow(list, plugins, *item, GetHotkeyPrograms(table, i), SurveyBinding(survey, plugins, i));
        }
    }
    EndBindingSurvey(&survey);
}

void SetUpHotkeyList(HWND dialog)
{
    const HWND list = HotkeyList(dialog);
    const LRESULT extendedStyle = SendMessageW(list, LVM_GETEXTENDEDLISTVIEWSTYLE, 0, 0);
    SendMessageW(list, LVM_SETEXTENDEDLISTVIEWSTYLE, 0, extendedStyle | LVS_EX_FULLROWSELECT | LVS_EX_INFOTIP);

    int subItem = 0;
    for (const ListColumn& listColumn : hotkeyColumns) {
        LVCOLUMNW column = {};
        column.mask = LVCF_FMT | LVCF_WIDTH | LVCF_TEXT | LVCF_SUBITEM;
        column.fmt = LVCFMT_LEFT;
        column.cx = ScaleToWindow(list, listColumn.width);
        column.pszText = const_cast<wchar_t*>(listColumn.header);
        column.iSubItem = subItem;
        SendMessageW(list, LVM_INSERTCOLUMNW, static_cast<WPARAM>(subItem), reinterpret_cast<LPARAM>(&column));
        ++subItem;
    }

    // One pixel wide and never filled: it only makes each row as tall as a small icon.
    const HIMAGELIST rowHeight = ImageList_Create(1, GetSystemMetrics(SM_CYSMICON), 0, 0, 0);
    SendMessageW(list, LVM_SETIMAGELIST, LVSIL_SMALL, reinterpret_cast<LPARAM>(rowHeight));

    EnableRowButtons(dialog, false);
}

void Refill(HWND dialog)
{
    FillHotkeyList(dialog, settingsContext->plugins, settingsContext->workTable);
    ShowSelectedRowReason(dialog, settingsContext->workTable);
}

// Selected and focused, so that Edit and Delete act on it, and scrolled into view.
void SelectRow(HWND dialog, int row)
{
    const HWND list = HotkeyList(dialog);
    LVITEMW state = {};
    state.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
    state.state = LVIS_SELECTED | LVIS_FOCUSED;
    SendMessageW(list, LVM_SETITEMSTATE, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&state));
    SendMessageW(list, LVM_ENSUREVISIBLE, static_cast<WPARAM>(row), FALSE);
}

INT_PTR RunItemEditor(HWND dialog, EditorContext* editor)
{
    return DialogBoxParamW(moduleInstance, MAKEINTRESOURCEW(IDD_ITEM_EDITOR), dialog, ItemEditorDialogProc,
                           reinterpret_cast<LPARAM>(editor));
}

// A new binding is one with key 0; the editor writes all of it on OK.
void OnAdd(HWND dialog)
{
    EditorContext editor = {settingsContext->plugins, settingsContext->workTable, {}, ANY_PROGRAM, nullptr,
                            GetHotkeyCount(settingsContext->workTable)};
    if (RunItemEditor(dialog, &editor) != IDOK) {
        return;
    }
    // The table may refuse the entry silently; then there is no new row to select.
    const int added = GetHotkeyCount(settingsContext->workTable);
    AppendHotkeyItem(settingsContext->workTable, &editor.item, editor.programs);
    ReleaseBlock(editor.listsBlock);
    Refill(dialog);
    if (GetHotkeyCount(settingsContext->workTable) > added) {
        SelectRow(dialog, added);
    }
}

// The accepted binding is written over the stored one, which keeps its place in the table.
void OnEdit(HWND dialog)
{
    const int row = SelectedRow(dialog);
    if (row == -1) {
        return;
    }
    HotkeyItem* stored = GetHotkeyItem(settingsContext->workTable, row);
    if (stored == nullptr) {
        return;
    }
    EditorContext editor = {settingsContext->plugins, settingsContext->workTable, *stored,
                            GetHotkeyPrograms(settingsContext->workTable, row), nullptr, row};
    if (RunItemEditor(dialog, &editor) != IDOK) {
        return;
    }
    // Short of memory for the new lists the binding keeps its old ones, and its old record.
    if (SetHotkeyPrograms(settingsContext->workTable, row, editor.programs)) {
        *GetHotkeyItem(settingsContext->workTable, row) = editor.item;
    }
    ReleaseBlock(editor.listsBlock);
    Refill(dialog);
    SelectRow(dialog, row);
}

void OnDelete(HWND dialog)
{
    const int row = SelectedRow(dialog);
    if (row == -1) {
        return;
    }
    if (MessageBoxW(dialog, L"削除しますか？", L"確認", MB_YESNO) != IDYES) {
        return;
    }
    DeleteHotkeyItem(settingsContext->workTable, row);
    Refill(dialog);
    // A disabled button loses the focus to nothing, and then no key reaches the dialog.
    const int count = GetHotkeyCount(settingsContext->workTable);
    if (count == 0) {
        SendMessageW(dialog, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(GetDlgItem(dialog, IDC_ADD_ITEM)), TRUE);
        EnableRowButtons(dialog, false);
        return;
    }
    // The row that moved up into the deleted one's place, so that rows are deleted one after
    // another without arrowing to each.
    SendMessageW(dialog, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(HotkeyList(dialog)), TRUE);
    SelectRow(dialog, row < count ? row : count - 1);
}

INT_PTR OnInitDialog(HWND dialog, SettingsContext* context)
{
    settingsContext = context;
    SetUpHotkeyList(dialog);
    CreateReasonLine(dialog);
    CheckDlgButton(dialog, IDC_PAUSE_FULLSCREEN, context->pauseFullscreen != 0 ? BST_CHECKED : BST_UNCHECKED);
    Refill(dialog);
    return TRUE;
}

// The reason line follows the selection, whether keys, the mouse or a refill moved it; changes
// of a row's item data alone leave it.
void OnItemChanged(HWND dialog, const NMLISTVIEW* change)
{
    EnableRowButtons(dialog, SelectedRow(dialog) != -1);
    if ((change->uChanged & LVIF_STATE) != 0 && ((change->uOldState ^ change->uNewState) & LVIS_SELECTED) != 0) {
        ShowSelectedRowReason(dialog, settingsContext->workTable);
    }
}

// Delete and F2 act as their buttons do, Delete's question included.
void OnListKey(HWND dialog, WORD key)
{
    if (key == VK_DELETE) {
        SendMessageW(dialog, WM_COMMAND, IDC_DELETE_ITEM, 0);
    } else if (key == VK_F2) {
        SendMessageW(dialog, WM_COMMAND, IDC_EDIT_ITEM, 0);
    }
}

INT_PTR OnNotify(HWND dialog, NMHDR* header)
{
    if (header->idFrom != IDC_HOTKEY_LIST) {
        return FALSE;
    }
    switch (header->code) {
    case LVN_ITEMCHANGED:
        OnItemChanged(dialog, reinterpret_cast<const NMLISTVIEW*>(header));
        break;
    case NM_DBLCLK:
        SendMessageW(dialog, WM_COMMAND, IDC_EDIT_ITEM, 0);
        break;
    case NM_CUSTOMDRAW:
        // A dialog answers a notification through DWLP_MSGRESULT.
        SetWindowLongPtrW(
            dialog, DWLP_MSGRESULT,
            DrawFaultyRows(dialog, settingsContext->workTable, reinterpret_cast<NMLVCUSTOMDRAW*>(header)));
        return TRUE;
    case LVN_GETINFOTIPW:
        AddReasonToInfoTip(dialog, settingsContext->workTable, reinterpret_cast<NMLVGETINFOTIPW*>(header));
        break;
    case LVN_KEYDOWN:
        OnListKey(dialog, reinterpret_cast<const NMLVKEYDOWN*>(header)->wVKey);
        break;
    }
    return FALSE;
}

// The pause is taken at OK, with the work copy; a value other than 1 read from the file stays
// while the box keeps its state.
void KeepPauseChoice(HWND dialog)
{
    const bool checked = IsDlgButtonChecked(dialog, IDC_PAUSE_FULLSCREEN) == BST_CHECKED;
    if (checked != (settingsContext->pauseFullscreen != 0)) {
        settingsContext->pauseFullscreen = checked ? 1 : 0;
    }
}

INT_PTR OnCommand(HWND dialog, WORD id)
{
    switch (id) {
    case IDOK:
        KeepPauseChoice(dialog);
        EndDialog(dialog, id);
        return TRUE;
    case IDCANCEL:
        EndDialog(dialog, id);
        return TRUE;
    case IDC_ADD_ITEM:
        OnAdd(dialog);
        return TRUE;
    case IDC_EDIT_ITEM:
        OnEdit(dialog);
        return TRUE;
    case IDC_DELETE_ITEM:
        OnDelete(dialog);
        return TRUE;
    }
    return FALSE;
}

}  // namespace

INT_PTR CALLBACK SettingsDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_INITDIALOG:
        return OnInitDialog(dialog, reinterpret_cast<SettingsContext*>(lParam));
    case WM_NOTIFY:
        return OnNotify(dialog, reinterpret_cast<NMHDR*>(lParam));
    case WM_COMMAND:
        return OnCommand(dialog, LOWORD(wParam));
    case WM_DESTROY:
        return TRUE;  // the list view owns and frees its image list
    }
    return FALSE;
}
