#include "tests/dialog_driver.h"

#include <commctrl.h>

#include <gtest/gtest.h>

namespace {

constexpr int CELL_CAPACITY = 1024;

std::wstring CellText(HWND list, int row, int column)
{
    wchar_t text[CELL_CAPACITY] = {};
    LVITEMW cell = {};
    cell.iSubItem = column;
    cell.pszText = text;
    cell.cchTextMax = CELL_CAPACITY;
    SendMessageW(list, LVM_GETITEMTEXTW, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&cell));
    return text;
}

int RowCount(HWND list)
{
    return static_cast<int>(SendMessageW(list, LVM_GETITEMCOUNT, 0, 0));
}

std::wstring TreeItemText(HWND tree, HTREEITEM item)
{
    wchar_t text[CELL_CAPACITY] = {};
    TVITEMW entry = {};
    entry.mask = TVIF_TEXT;
    entry.hItem = item;
    entry.pszText = text;
    entry.cchTextMax = CELL_CAPACITY;
    SendMessageW(tree, TVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&entry));
    return text;
}

HTREEITEM NextTreeItem(HWND tree, HTREEITEM item, UINT relation)
{
    return reinterpret_cast<HTREEITEM>(SendMessageW(tree, TVM_GETNEXTITEM, relation, reinterpret_cast<LPARAM>(item)));
}

void SendDoubleClick(HWND list, POINT point)
{
    SendMessageW(list, WM_LBUTTONDBLCLK, MK_LBUTTON, MAKELPARAM(point.x, point.y));
    SendMessageW(list, WM_LBUTTONUP, 0, MAKELPARAM(point.x, point.y));
}

// The list whose custom draw is being recorded, and the colours seen for its rows.
struct DrawRecord {
    HWND list;
    WNDPROC dialogProc;
    std::vector<COLORREF> colours;
};
DrawRecord drawRecord;

// Sits in front of the dialog's own procedure and reads what it made of each row's record.
LRESULT CALLBACK RecordCustomDraw(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam)
{
    const LRESULT result = CallWindowProcW(drawRecord.dialogProc, dialog, message, wParam, lParam);
    if (message != WM_NOTIFY) {
        return result;
    }
    const auto* draw = reinterpret_cast<const NMLVCUSTOMDRAW*>(lParam);
    if (draw->nmcd.hdr.hwndFrom == drawRecord.list && draw->nmcd.hdr.code == NM_CUSTOMDRAW &&
        draw->nmcd.dwDrawStage == CDDS_ITEMPREPAINT && draw->nmcd.dwItemSpec < drawRecord.colours.size()) {
        drawRecord.colours[draw->nmcd.dwItemSpec] = draw->clrText;
    }
    return result;
}

// The open-file dialog's file name box: a combo box in the explorer style, an edit in the old.
constexpr int FILE_NAME_COMBO = 0x47C;
constexpr int FILE_NAME_EDIT = 0x480;

struct FileDialogWatch {
    std::function<void(HWND, HWND)> action;
    ULONGLONG deadline;
};
FileDialogWatch fileDialogWatch;

HWND FileNameBox(HWND dialog)
{
    const HWND combo = GetDlgItem(dialog, FILE_NAME_COMBO);
    return combo != nullptr ? combo : GetDlgItem(dialog, FILE_NAME_EDIT);
}

BOOL CALLBACK FindFileDialog(HWND window, LPARAM found)
{
    wchar_t className[16] = {};
    GetClassNameW(window, className, 16);
    if (IsWindowVisible(window) && IsWindowEnabled(window) && lstrcmpW(className, L"#32770") == 0 &&
        FileNameBox(window) != nullptr) {
        *reinterpret_cast<HWND*>(found) = window;
        return FALSE;
    }
    return TRUE;
}

void CALLBACK WatchFileDialog(HWND, UINT, UINT_PTR timer, DWORD)
{
    HWND dialog = nullptr;
    EnumThreadWindows(GetCurrentThreadId(), FindFileDialog, reinterpret_cast<LPARAM>(&dialog));
    if (dialog != nullptr) {
        KillTimer(nullptr, timer);
        const std::function<void(HWND, HWND)> action = std::move(fileDialogWatch.action);
        action(dialog, FileNameBox(dialog));
    } else if (GetTickCount64() >= fileDialogWatch.deadline) {
        KillTimer(nullptr, timer);
        ADD_FAILURE() << "no open-file dialog appeared in time";
    }
}

}  // namespace

void OnOpenFileDialog(std::function<void(HWND dialog, HWND fileName)> action, int timeoutMs)
{
    fileDialogWatch.action = std::move(action);
    fileDialogWatch.deadline = GetTickCount64() + static_cast<ULONGLONG>(timeoutMs);
    SetTimer(nullptr, 0, 50, WatchFileDialog);
}

std::vector<std::vector<std::wstring>> ListRows(HWND list, int columns)
{
    std::vector<std::vector<std::wstring>> rows;
    for (int row = 0; row < RowCount(list); ++row) {
        std::vector<std::wstring> cells;
        for (int column = 0; column < columns; ++column) {
            cells.push_back(CellText(list, row, column));
        }
        rows.push_back(cells);
    }
    return rows;
}

std::vector<std::wstring> ListColumn(HWND list, int column)
{
    std::vector<std::wstring> texts;
    for (int row = 0; row < RowCount(list); ++row) {
        texts.push_back(CellText(list, row, column));
    }
    return texts;
}

int SelectedListRow(HWND list)
{
    return static_cast<int>(SendMessageW(list, LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_SELECTED));
}

void SelectListRow(HWND list, int row)
{
    LVITEMW state = {};
    state.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
    state.state = LVIS_SELECTED | LVIS_FOCUSED;
    SendMessageW(list, LVM_SETITEMSTATE, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&state));
}

void ClearListSelection(HWND list)
{
    LVITEMW state = {};
    state.stateMask = LVIS_SELECTED;
    state.state = 0;
    SendMessageW(list, LVM_SETITEMSTATE, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(&state));
}

// The first click of a double-click selects the row; the second reports the double-click.
void DoubleClickListRow(HWND list, int row)
{
    SelectListRow(list, row);
    RECT bounds = {};
    bounds.left = LVIR_LABEL;
    SendMessageW(list, LVM_GETITEMRECT, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&bounds));
    SendDoubleClick(list, {(bounds.left + bounds.right) / 2, (bounds.top + bounds.bottom) / 2});
}

void DoubleClickListBlank(HWND list)
{
    RECT client = {};
    GetClientRect(list, &client);
    SendDoubleClick(list, {client.right / 2, client.bottom - 4});
}

bool IsListRowInView(HWND list, int row)
{
    const int top = static_cast<int>(SendMessageW(list, LVM_GETTOPINDEX, 0, 0));
    const int perPage = static_cast<int>(SendMessageW(list, LVM_GETCOUNTPERPAGE, 0, 0));
    return row >= top && row < top + perPage;
}

std::vector<COLORREF> ListRowTextColours(HWND list)
{
    const HWND dialog = GetParent(list);
    drawRecord.list = list;
    drawRecord.colours.assign(static_cast<size_t>(RowCount(list)), CLR_NONE);
    drawRecord.dialogProc = reinterpret_cast<WNDPROC>(
        SetWindowLongPtrW(dialog, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(RecordCustomDraw)));
    RedrawWindow(list, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW);
    SetWindowLongPtrW(dialog, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(drawRecord.dialogProc));
    return drawRecord.colours;
}

// As the list asks when the row's text is not cut: the flag says so and the buffer is empty.
std::wstring ListInfoTip(HWND list, int row)
{
    wchar_t text[CELL_CAPACITY] = {};
    NMLVGETINFOTIPW tip = {};
    tip.hdr.hwndFrom = list;
    tip.hdr.idFrom = static_cast<UINT_PTR>(GetDlgCtrlID(list));
    tip.hdr.code = LVN_GETINFOTIPW;
    tip.dwFlags = LVGIT_UNFOLDED;
    tip.pszText = text;
    tip.cchTextMax = CELL_CAPACITY;
    tip.iItem = row;
    SendMessageW(GetParent(list), WM_NOTIFY, tip.hdr.idFrom, reinterpret_cast<LPARAM>(&tip));
    return text;
}

std::vector<std::wstring> TreeEntries(HWND tree)
{
    std::vector<std::wstring> texts;
    for (HTREEITEM item = NextTreeItem(tree, nullptr, TVGN_ROOT); item != nullptr;
         item = NextTreeItem(tree, item, TVGN_NEXT)) {
        texts.push_back(TreeItemText(tree, item));
    }
    return texts;
}

std::wstring SelectedTreeEntry(HWND tree)
{
    const HTREEITEM selected = NextTreeItem(tree, nullptr, TVGN_CARET);
    return selected != nullptr ? TreeItemText(tree, selected) : L"(none)";
}

void SelectTreeEntry(HWND tree, int index)
{
    HTREEITEM item = NextTreeItem(tree, nullptr, TVGN_ROOT);
    for (int i = 0; i < index && item != nullptr; ++i) {
        item = NextTreeItem(tree, item, TVGN_NEXT);
    }
    SendMessageW(tree, TVM_SELECTITEM, TVGN_CARET, reinterpret_cast<LPARAM>(item));
}

WORD HotkeyValue(HWND dialog, int id)
{
    return LOWORD(SendDlgItemMessageW(dialog, id, HKM_GETHOTKEY, 0, 0));
}

void SetHotkeyValue(HWND dialog, int id, WORD value)
{
    SendDlgItemMessageW(dialog, id, HKM_SETHOTKEY, value, 0);
}

bool IsChecked(HWND dialog, int id)
{
    return SendDlgItemMessageW(dialog, id, BM_GETCHECK, 0, 0) == BST_CHECKED;
}

void SetChecked(HWND dialog, int id, bool checked)
{
    SendDlgItemMessageW(dialog, id, BM_SETCHECK, checked ? BST_CHECKED : BST_UNCHECKED, 0);
}

bool IsItemEnabled(HWND dialog, int id)
{
    return IsWindowEnabled(GetDlgItem(dialog, id)) != FALSE;
}

void SendKey(HWND control, WORD key)
{
    const LPARAM scan = static_cast<LPARAM>(MapVirtualKeyW(key, MAPVK_VK_TO_VSC)) << 16;
    SendMessageW(control, WM_KEYDOWN, key, scan | 1);
    SendMessageW(control, WM_KEYUP, key, scan | 1 | (1LL << 30) | (1LL << 31));
}

HICON MessageBoxIcon(HWND box)
{
    for (HWND child = GetWindow(box, GW_CHILD); child != nullptr; child = GetWindow(child, GW_HWNDNEXT)) {
        if ((GetWindowLongPtrW(child, GWL_STYLE) & SS_TYPEMASK) == SS_ICON) {
            return reinterpret_cast<HICON>(SendMessageW(child, STM_GETICON, 0, 0));
        }
    }
    return nullptr;
}

void PostKey(HWND control, WORD key)
{
    const LPARAM scan = static_cast<LPARAM>(MapVirtualKeyW(key, MAPVK_VK_TO_VSC)) << 16;
    PostMessageW(control, WM_KEYDOWN, key, scan | 1);
    PostMessageW(control, WM_KEYUP, key, scan | 1 | (1LL << 30) | (1LL << 31));
}

