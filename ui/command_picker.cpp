#include "ui/command_picker.h"

#include <commctrl.h>
#include <shlwapi.h>

#include "plugin/bounded_text.h"
#include "res/resource_ids.h"

namespace {

// The request of the open picker; only one picker is open at a time.
PickerRequest* pickerRequest;

// Row keys hold a plug-in position and a command position in 16 bits each, so positions
// beyond these are not listed: their rows could not be told from earlier ones.
constexpr int32_t MAX_LISTED_PLUGINS = 0x10000;
constexpr int32_t MAX_LISTED_COMMANDS = 0x10000;

constexpr int32_t ALL_PLUGINS_KEY = -1;

// "fileName|id": the file name cut to 259 units, a bar and at most 11 digits and sign.
constexpr int REFERENCE_CAPACITY = TEXT_CAPACITY + 12;

// Writes the template front to back and never past its end: a write that would is cut.
struct TemplateWriter {
    BYTE* block;
    size_t capacity;
    size_t offset;
};

void WriteBytes(TemplateWriter& writer, const void* data, size_t count)
{
    if (count > writer.capacity - writer.offset) {
        count = writer.capacity - writer.offset;
    }
    CopyMemory(writer.block + writer.offset, data, count);
    writer.offset += count;
}

void WriteWord(TemplateWriter& writer, WORD value)
{
    WriteBytes(writer, &value, sizeof(value));
}

void WriteDword(TemplateWriter& writer, DWORD value)
{
    WriteBytes(writer, &value, sizeof(value));
}

void WriteTemplateText(TemplateWriter& writer, const wchar_t* text)
{
    WriteBytes(writer, text, (static_cast<size_t>(TextLength(text)) + 1) * sizeof(wchar_t));
}

// Items start on a 4-byte boundary; the skipped bytes are zero even in a block that is not.
void AlignToDword(TemplateWriter& writer)
{
    while (writer.offset % 4 != 0 && writer.offset < writer.capacity) {
        writer.block[writer.offset++] = 0;
    }
}

struct PickerItemTemplate {
    DWORD style;
    DWORD extendedStyle;
    short x, y, width, height;
    WORD id;
    const wchar_t* className;
    const wchar_t* title;
};

constexpr DWORD PICKER_STYLE = 0x90C800CC;
constexpr short PICKER_WIDTH = 320;
constexpr short PICKER_HEIGHT = 212;
constexpr wchar_t PICKER_CAPTION[] = L"プラグインコマンド選択";
constexpr WORD PICKER_FONT_SIZE = 9;
constexpr wchar_t PICKER_FONT[] = L"Ms Shell Dlg";

const PickerItemTemplate pickerItems[] = {
    {0x50010000, 0, 212, 188, 48, 16, IDOK, L"button", L"OK"},
    {0x50010000, 0, 264, 188, 48, 16, IDCANCEL, L"button", L"キャンセル"},
    {0x50011020, WS_EX_CLIENTEDGE, 8, 8, 96, 148, IDC_PICKER_TREE, L"SysTreeView32", L""},
    {0x5001080D, WS_EX_CLIENTEDGE, 112, 8, 200, 148, IDC_PICKER_LIST, L"SysListView32", L""},
    {0x50000880, WS_EX_CLIENTEDGE, 8, 164, 304, 16, IDC_PICKER_REFERENCE, L"edit", L""},
};

void WriteTemplateHeader(TemplateWriter& writer)
{
    WriteDword(writer, PICKER_STYLE);
    WriteDword(writer, 0);
    WriteWord(writer, static_cast<WORD>(ARRAYSIZE(pickerItems)));
    WriteWord(writer, 0);
    WriteWord(writer, 0);
    WriteWord(writer, PICKER_WIDTH);
    WriteWord(writer, PICKER_HEIGHT);
    WriteWord(writer, 0);  // no menu
    WriteWord(writer, 0);  // the standard dialog class
    WriteTemplateText(writer, PICKER_CAPTION);
    WriteWord(writer, PICKER_FONT_SIZE);
    WriteTemplateText(writer, PICKER_FONT);
}

void WriteTemplateItem(TemplateWriter& writer, const PickerItemTemplate& item)
{
    AlignToDword(writer);
    WriteDword(writer, item.style);
    WriteDword(writer, item.extendedStyle);
    WriteWord(writer, static_cast<WORD>(item.x));
    WriteWord(writer, static_cast<WORD>(item.y));
    WriteWord(writer, static_cast<WORD>(item.width));
    WriteWord(writer, static_cast<WORD>(item.height));
    WriteWord(writer, item.id);
    WriteTemplateText(writer, item.className);
    WriteTemplateText(writer, item.title);
    WriteWord(writer, 0);  // no creation data
}

const wchar_t* TextOrEmpty(const wchar_t* text)
{
    return text != nullptr ? text : L"";
}

// The controls copy the texts they are given, so handing them a literal is safe.
wchar_t* ControlText(const wchar_t* text)
{
    return const_cast<wchar_t*>(TextOrEmpty(text));
}

// A null command array offers no commands, whatever the count says.
int32_t CommandCountOf(const PluginInfo* plugin)
{
    if (plugin == nullptr || plugin->commands == nullptr || plugin->commandCount <= 0) {
        return 0;
    }
    return plugin->commandCount;
}

// The plug-in at a position of the null-terminated array, or null past its end.
const PluginInfo* PluginAt(PluginInfo** plugins, int32_t position)
{
    if (plugins == nullptr || position < 0) {
        return nullptr;
    }
    for (int32_t i = 0; i < position; ++i) {
        if (plugins[i] == nullptr) {
            return nullptr;
        }
    }
    return plugins[position];
}

const PluginCommandInfo* CommandAt(const PluginInfo* plugin, int32_t position)
{
    if (position < 0 || position >= CommandCountOf(plugin)) {
        return nullptr;
    }
    return &plugin->commands[position];
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
    column.cx = 256;
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

INT_PTR OnInitDialog(HWND dialog, PickerRequest* request)
{
    pickerRequest = request;
    SetUpPickerControls(dialog, request->plugins);
    return TRUE;
}

INT_PTR OnTreeSelectionChanged(HWND dialog, const NMTREEVIEWW* change)
{
    FillCommandList(dialog, static_cast<int32_t>(change->itemNew.lParam), pickerRequest->menuFilter);
    SetDlgItemTextW(dialog, IDC_PICKER_REFERENCE, L"");
    LVITEMW state = {};
    state.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
    state.state = LVIS_SELECTED | LVIS_FOCUSED;
    SendDlgItemMessageW(dialog, IDC_PICKER_LIST, LVM_SETITEMSTATE, 0, reinterpret_cast<LPARAM>(&state));
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
            ShowRowReference(dialog, reinterpret_cast<const NMLISTVIEW*>(header)->iItem);
        }
        return FALSE;
    case NM_DBLCLK:
        SendMessageW(dialog, WM_COMMAND, IDOK, 0);
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

// Writes the outputs the request asks for; without a selected row the dialog stays open.
INT_PTR OnOk(HWND dialog)
{
    const int row = SelectedRow(dialog);
    if (row == -1) {
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

struct ReferencedCommand {
    const PluginInfo* plugin;
    const PluginCommandInfo* command;
};

// Only the first plug-in with the file name is searched; the result's command is null when
// the reference names no known plug-in or command.
ReferencedCommand FindReferencedCommand(PluginInfo** plugins, const wchar_t* fileName, int32_t commandId)
{
    for (int32_t i = 0; plugins != nullptr && plugins[i] != nullptr; ++i) {
        const PluginInfo* plugin = plugins[i];
        if (lstrcmpiW(TextOrEmpty(plugin->fileName), fileName) != 0) {
            continue;
        }
        const int32_t count = CommandCountOf(plugin);
        for (int32_t j = 0; j < count; ++j) {
            if (plugin->commands[j].commandId == commandId) {
                return {plugin, &plugin->commands[j]};
            }
        }
        return {plugin, nullptr};
    }
    return {nullptr, nullptr};
}

}  // namespace

void WriteCommandPickerTemplate(void* block)
{
    TemplateWriter writer = {static_cast<BYTE*>(block), PICKER_TEMPLATE_SIZE, 0};
    WriteTemplateHeader(writer);
    for (const PickerItemTemplate& item : pickerItems) {
        WriteTemplateItem(writer, item);
    }
}

INT_PTR ShowCommandPicker(HWND owner, PickerRequest* request, HGLOBAL block)
{
    void* memory = GlobalLock(block);
    if (memory == nullptr) {
        GlobalFree(block);
        return -1;
    }
    WriteCommandPickerTemplate(memory);
    const INT_PTR result = DialogBoxIndirectParamW(nullptr, static_cast<LPCDLGTEMPLATEW>(memory), owner,
                                                   CommandPickerDialogProc, reinterpret_cast<LPARAM>(request));
    GlobalUnlock(block);
    GlobalFree(block);
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

int32_t DescribeCommandReference(PluginInfo** plugins, const wchar_t* text, wchar_t* buffer, int32_t capacity)
{
    wchar_t work[TEXT_CAPACITY];
    CopyText(work, TEXT_CAPACITY, text);
    wchar_t* bar = StrChrW(work, L'|');
    if (bar == nullptr) {
        return 0;
    }
    *bar = L'\0';
    const ReferencedCommand found = FindReferencedCommand(plugins, work, StrToIntW(bar + 1));
    if (found.command == nullptr) {
        return -1;
    }
    const wchar_t* name = TextOrEmpty(found.plugin->name);
    const wchar_t* caption = TextOrEmpty(found.command->caption);
    const int64_t length = static_cast<int64_t>(TextLength(name)) + 3 + TextLength(caption);
    if (length >= INT32_MAX) {
        return -1;
    }
    if (buffer == nullptr) {
        return static_cast<int32_t>(length);
    }

    const HANDLE heap = GetProcessHeap();
    auto* described = static_cast<wchar_t*>(
        HeapAlloc(heap, HEAP_ZERO_MEMORY, static_cast<SIZE_T>(length + 1) * sizeof(wchar_t)));
    if (described == nullptr) {
        return -1;
    }
    // Formatted into a block of exactly the answered length, so the text is never cut short.
    FormatText(described, static_cast<int>(length + 1), L"%ls - %ls", name, caption);
    CopyText(buffer, capacity, described);
    HeapFree(heap, 0, described);
    return static_cast<int32_t>(length);
}
