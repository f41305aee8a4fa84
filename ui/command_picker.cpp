#include "ui/command_picker.h"

#include <commctrl.h>

#include "base/bounded_text.h"
#include "base/heap_block.h"
#include "res/resource_ids.h"
#include "ui/command_reference.h"
#include "ui/dialog_scale.h"
#include "ui/plugin_list.h"

namespace {

// The request of the open picker; only one picker is open at a time.
PickerRequest* pickerRequest;

// The picker opened on a command it does not list (a program, a host command, a plug-in not
// loaded), and no row was chosen since: the box shows that command, and OK leaves it as it is.
bool keepingCurrent;

// Row keys hold a plug-in position and a command position in 16 bits each, so positions
// beyond these are not listed: their rows could not be told from earlier ones.
constexpr int32_t MAX_LISTED_PLUGINS = 0x10000;
constexpr int32_t MAX_LISTED_COMMANDS = 0x10000;

constexpr int32_t ALL_PLUGINS_KEY = -1;

// In pixels of a 96 DPI display; the list itself grows with the dialog's font.
constexpr int COMMAND_COLUMN_WIDTH = 256;

// "fileName|id": the file name cut to 259 units, a bar and at most 11 digits and sign.
constexpr int REFERENCE_CAPACITY = TEXT_CAPACITY + 12;

// The controls copy the texts they are given, so handing them a literal is safe.
wchar_t* ControlText(const wchar_t* text)
{
    return const_cast<wchar_t*>(TextOrEmpty(text));
}


void FormatReference(const PluginInfo* plugin, const PluginCommandInfo* command, wchar_t* reference)
{
    wchar_t fileName[TEXT_CAPACITY];
    CopyText(fileName, TEXT_CAPACITY, TextOrEmpty(plugin->fileName));
    FormatText(reference, REFERENCE_CAPACITY, L"%ls|%d", fileName, command->commandId);
}

LPARAM RowKey(int32_t pluginPosition, int32_t commandPosition)
{
    return static_cast<LPARAM>((static_cast<uint32_t>(pluginPosition) << 16) |
                               static_cast<uint32_t>(commandPosition));
}

// A failed read yields key 0, as an unset row would.
uint32_t ReadRowKey(HWND dialog, int row)
{
    LVITEMW item = {};
    item.mask = LVIF_PARAM;
    item.iItem = row;
    if (!SendDlgItemMessageW(dialog, IDC_PICKER_LIST, LVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&item))) {
        return 0;
    }
    return static_cast<uint32_t>(item.lParam);
}

int SelectedRow(HWND dialog)
{
    return static_cast<int>(
        SendDlgItemMessageW(dialog, IDC_PICKER_LIST, LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_SELECTED));
}

// Selected and focused, which shows its reference in the box, and scrolled into view.
void SelectCommandRow(HWND dialog, int row)
{
    LVITEMW state = {};
    state.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
    state.state = LVIS_SELECTED | LVIS_FOCUSED;
    SendDlgItemMessageW(dialog, IDC_PICKER_LIST, LVM_SETITEMSTATE, static_cast<WPARAM>(row),
                        reinterpret_cast<LPARAM>(&state));
    SendDlgItemMessageW(dialog, IDC_PICKER_LIST, LVM_ENSUREVISIBLE, static_cast<WPARAM>(row), FALSE);
}

HIMAGELIST CreateRowHeightImageList()
{
    return ImageList_Create(1, GetSystemMetrics(SM_CYSMICON), 0, 0, 0);
}

void AppendTreeEntry(HWND tree, const wchar_t* text, int32_t key)
{
    TVINSERTSTRUCTW insert = {};
    insert.hParent = TVI_ROOT;
    insert.hInsertAfter = TVI_LAST;
    insert.item.mask = TVIF_TEXT | TVIF_IMAGE | TVIF_SELECTEDIMAGE | TVIF_PARAM;
    insert.item.pszText = ControlText(text);
    insert.item.iImage = 0;
    insert.item.iSelectedImage = 0;
    insert.item.lParam = key;
    SendMessageW(tree, TVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&insert));
}

void AppendCommandRow(HWND list, const PluginCommandInfo& command, int32_t pluginPosition, int32_t commandPosition)
{
    LVITEMW row = {};
    row.mask = LVIF_TEXT | LVIF_PARAM;
    row.iItem = static_cast<int>(SendMessageW(list, LVM_GETITEMCOUNT, 0, 0));
    row.pszText = ControlText(command.caption);
    row.lParam = RowKey(pluginPosition, commandPosition);
    SendMessageW(list, LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&row));
}

void SetUpPickerControls(HWND dialog, PluginInfo** plugins)
{
    const HWND tree = GetDlgItem(dialog, IDC_PICKER_TREE);
    const HWND list = GetDlgItem(dialog, IDC_PICKER_LIST);

    SendMessageW(tree, TVM_SETIMAGELIST, TVSIL_NORMAL, reinterpret_cast<LPARAM>(CreateRowHeightImageList()));

    const LRESULT extendedStyle = SendMessageW(list, LVM_GETEXTENDEDLISTVIEWSTYLE, 0, 0);
    SendMessageW(list, LVM_SETEXTENDEDLISTVIEWSTYLE, 0, extendedStyle | LVS_EX_FULLROWSELECT | LVS_EX_INFOTIP);

    LVCOLUMNW column = {};
    column.mask = LVCF_FMT | LVCF_WIDTH | LVCF_TEXT | LVCF_SUBITEM;
    column.fmt = LVCFMT_LEFT;
    column.cx = ScaleToWindow(list, COMMAND_COLUMN_WIDTH);
    column.pszText = ControlText(L"command");
    column.iSubItem = 0;
    SendMessageW(list, LVM_INSERTCOLUMNW, 0, reinterpret_cast<LPARAM>(&column));

    SendMessageW(list, LVM_SETIMAGELIST, LVSIL_SMALL, reinterpret_cast<LPARAM>(CreateRowHeightImageList()));

    AppendTreeEntry(tree, L"すべて", ALL_PLUGINS_KEY);
    for (int32_t i = 0; plugins != nullptr && plugins[i] != nullptr && i < MAX_LISTED_PLUGINS; ++i) {
        AppendTreeEntry(tree, plugins[i]->name, i);
    }

    // The selection notifications fill the list, so the request must be stored by now.
    const LPARAM first = SendMessageW(tree, TVM_GETNEXTITEM, TVGN_ROOT, 0);
    SendMessageW(tree, TVM_SELECTITEM, TVGN_CARET, first);
}

void AppendPluginCommands(HWND list, uint32_t filter, const PluginInfo* plugin, int32_t pluginPosition)
{
    const int32_t count = CommandCountOf(plugin);
    for (int32_t j = 0; j < count && j < MAX_LISTED_COMMANDS; ++j) {
        if ((plugin->commands[j].menuFlags & filter) != 0) {
            AppendCommandRow(list, plugin->commands[j], pluginPosition, j);
        }
    }
}

void FillCommandList(HWND dialog, int32_t key, uint32_t filter)
{
    const HWND list = GetDlgItem(dialog, IDC_PICKER_LIST);
    SendMessageW(list, LVM_DELETEALLITEMS, 0, 0);

    PluginInfo** plugins = pickerRequest->plugins;
    if (key != ALL_PLUGINS_KEY) {
        const PluginInfo* plugin = key < MAX_LISTED_PLUGINS ? PluginAt(plugins, key) : nullptr;
        if (plugin != nullptr) {
            AppendPluginCommands(list, filter, plugin, key);
        }
        return;
    }
    for (int32_t i = 0; plugins != nullptr && plugins[i] != nullptr && i < MAX_LISTED_PLUGINS; ++i) {
        AppendPluginCommands(list, filter, plugins[i], i);
    }
}

// The reference of the row's command into the read-only box; empty when the key names none.
void ShowRowReference(HWND dialog, int row)
{
    const uint32_t key = ReadRowKey(dialog, row);
    const PluginInfo* plugin = PluginAt(pickerRequest->plugins, static_cast<int32_t>(key >> 16));
    const PluginCommandInfo* command =
        plugin != nullptr ? CommandAt(plugin, static_cast<int32_t>(key & 0xFFFF)) : nullptr;
    wchar_t reference[REFERENCE_CAPACITY] = L"";
    if (command != nullptr) {
        FormatReference(plugin, command, reference);
    }
    SetDlgItemTextW(dialog, IDC_PICKER_REFERENCE, reference);
}

// The row of the command, or -1 when the list does not show it: a text that is no reference, or
// one of a plug-in not loaded, or a command the plug-in lacks or the filter leaves out.
int FindCommandRow(HWND dialog, const wchar_t* command)
{
    const CommandPlace place = FindCommandReference(pickerRequest->plugins, command);
    if (place.command == -1 || place.plugin >= MAX_LISTED_PLUGINS || place.command >= MAX_LISTED_COMMANDS) {
        return -1;
    }
    LVFINDINFOW find = {};
    find.flags = LVFI_PARAM;
    find.lParam = RowKey(place.plugin, place.command);
    return static_cast<int>(SendDlgItemMessageW(dialog, IDC_PICKER_LIST, LVM_FINDITEMW, static_cast<WPARAM>(-1),
                                                reinterpret_cast<LPARAM>(&find)));
}

// Enter then keeps the command the binding has: its row is selected, or, when the list does not
// show it, no row is and the box shows the command itself.
void SelectCurrentCommand(HWND dialog, const wchar_t* current)
{
    if (current == nullptr) {
        return;
    }
    const int row = FindCommandRow(dialog, current);
    if (row != -1) {
        SelectCommandRow(dialog, row);
        return;
    }
    LVITEMW state = {};
    state.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
    SendDlgItemMessageW(dialog, IDC_PICKER_LIST, LVM_SETITEMSTATE, static_cast<WPARAM>(-1),
                        reinterpret_cast<LPARAM>(&state));
    SetDlgItemTextW(dialog, IDC_PICKER_REFERENCE, current);
    keepingCurrent = true;
}

INT_PTR OnInitDialog(HWND dialog, PickerRequest* request)
{
    pickerRequest = request;
    keepingCurrent = false;
    SetUpPickerControls(dialog, request->plugins);
    SelectCurrentCommand(dialog, request->current);
    return TRUE;
}

INT_PTR OnTreeSelectionChanged(HWND dialog, const NMTREEVIEWW* change)
{
    keepingCurrent = false;
    FillCommandList(dialog, static_cast<int32_t>(change->itemNew.lParam), pickerRequest->menuFilter);
    SetDlgItemTextW(dialog, IDC_PICKER_REFERENCE, L"");
    SelectCommandRow(dialog, 0);
    return TRUE;
}

INT_PTR OnTreeNotify(HWND dialog, const NMHDR* header)
{
    switch (header->code) {
    case TVN_SELCHANGINGW:
        return TRUE;  // no result is set, so the tree always lets the selection move
    case TVN_SELCHANGEDW:
        return OnTreeSelectionChanged(dialog, reinterpret_cast<const NMTREEVIEWW*>(header));
    }
    return FALSE;
}

INT_PTR OnListNotify(HWND dialog, const NMHDR* header)
{
    switch (header->code) {
    case LVN_ITEMCHANGED:
        if (SelectedRow(dialog) == -1) {
            SetDlgItemTextW(dialog, IDC_PICKER_REFERENCE, L"");
        } else {
            keepingCurrent = false;
            ShowRowReference(dialog, reinterpret_cast<const NMLISTVIEW*>(header)->iItem);
        }
        return FALSE;
    case NM_DBLCLK:
        // A double-click chooses a row; one beside the rows chooses nothing.
        if (SelectedRow(dialog) != -1) {
            SendMessageW(dialog, WM_COMMAND, IDOK, 0);
        }
        return FALSE;
    }
    return FALSE;
}

INT_PTR OnNotify(HWND dialog, const NMHDR* header)
{
    switch (header->idFrom) {
    case IDC_PICKER_TREE:
        return OnTreeNotify(dialog, header);
    case IDC_PICKER_LIST:
        return OnListNotify(dialog, header);
    }
    return FALSE;
}

// Writes the outputs the request asks for. Without a selected row the dialog stays open, unless it
// still shows the command it opened on: it then ends as Cancel does, which keeps that command.
INT_PTR OnOk(HWND dialog)
{
    const int row = SelectedRow(dialog);
    if (row == -1) {
        if (keepingCurrent) {
            EndDialog(dialog, IDCANCEL);
        }
        return TRUE;
    }
    const uint32_t key = ReadRowKey(dialog, row);
    const int32_t pluginPosition = static_cast<int32_t>(key >> 16);
    const int32_t commandPosition = static_cast<int32_t>(key & 0xFFFF);
    const PluginInfo* plugin = PluginAt(pickerRequest->plugins, pluginPosition);
    const PluginCommandInfo* command = plugin != nullptr ? CommandAt(plugin, commandPosition) : nullptr;
    if (command == nullptr) {
        return TRUE;
    }

    PickerRequest& request = *pickerRequest;
    request.pluginIndex = pluginPosition;
    request.commandIndex = commandPosition;
    request.commandId = command->commandId;
    if ((request.flags & PICK_FILENAME) != 0 && request.fileNameBuffer != nullptr) {
        CopyText(request.fileNameBuffer, request.fileNameCapacity, plugin->fileName);
    }
    if ((request.flags & PICK_CAPTION) != 0 && request.captionBuffer != nullptr) {
        CopyText(request.captionBuffer, request.captionCapacity, command->caption);
    }
    if ((request.flags & PICK_REFERENCE) != 0 && request.referenceBuffer != nullptr) {
        wchar_t reference[REFERENCE_CAPACITY];
        FormatReference(plugin, command, reference);
        CopyText(request.referenceBuffer, request.referenceCapacity, reference);
    }
    EndDialog(dialog, IDOK);
    return TRUE;
}

INT_PTR OnCommand(HWND dialog, WORD id)
{
    switch (id) {
    case IDOK:
        return OnOk(dialog);
    case IDCANCEL:
        EndDialog(dialog, IDCANCEL);
        return TRUE;
    }
    return FALSE;
}

// The tree does not own its image list; the list view owns and frees its own.
INT_PTR OnDestroy(HWND dialog)
{
    const LRESULT images = SendDlgItemMessageW(dialog, IDC_PICKER_TREE, TVM_GETIMAGELIST, TVSIL_NORMAL, 0);
    ImageList_Destroy(reinterpret_cast<HIMAGELIST>(images));
    return TRUE;
}

}  // namespace

INT_PTR ShowCommandPicker(HWND owner, PickerRequest* request, HGLOBAL block)
{
    void* memory = GlobalLock(block);
    if (memory == nullptr) {
        ReleaseGlobalBlock(block);
        return -1;
    }
    // A template that did not fit is shown as a dialog that cannot be created.
    const INT_PTR result = WriteCommandPickerTemplate(memory)
                               ? DialogBoxIndirectParamW(nullptr, static_cast<LPCDLGTEMPLATEW>(memory), owner,
                                                         CommandPickerDialogProc, reinterpret_cast<LPARAM>(request))
                               : -1;
    GlobalUnlock(block);
    ReleaseGlobalBlock(block);
    return result;
}

INT_PTR CALLBACK CommandPickerDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_INITDIALOG:
        return OnInitDialog(dialog, reinterpret_cast<PickerRequest*>(lParam));
    case WM_NOTIFY:
        return OnNotify(dialog, reinterpret_cast<const NMHDR*>(lParam));
    case WM_COMMAND:
        return OnCommand(dialog, LOWORD(wParam));
    case WM_DESTROY:
        return OnDestroy(dialog);
    }
    return FALSE;
}
