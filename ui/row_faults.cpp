#include "ui/row_faults.h"

#include "base/bounded_text.h"
#include "res/resource_ids.h"
#include "ui/binding_check.h"

namespace {

// The free space between the list and the bottom edge, left of OK, in dialog units.
constexpr RECT REASON_LINE_BOUNDS = {8, 168, 204, 184};

HWND HotkeyList(HWND dialog)
{
    return GetDlgItem(dialog, IDC_HOTKEY_LIST);
}

bool ReadItemData(HWND list, int row, LPARAM* itemData)
{
    LVITEMW cell = {};
    cell.mask = LVIF_PARAM;
    cell.iItem = row;
    if (!SendMessageW(list, LVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&cell))) {
        return false;
    }
    *itemData = cell.lParam;
    return true;
}

// A combination is tried when its row is first drawn or asked about, not at the fill: trying
// every row of a long table would hold up the dialog's first paint. The outcome stays in the
// row's item data until the next fill.
BindingFault SettleRowFault(HWND dialog, HotkeyTable table, int row, LPARAM itemData)
{
    const auto fault = static_cast<BindingFault>(itemData);
    if (fault != BINDING_NOT_TRIED) {
        return fault;
    }
    const HotkeyItem* item = GetHotkeyItem(table, row);
    const BindingFault tried =
        item != nullptr && IsCombinationHeld(dialog, item->key) ? BINDING_HELD_ELSEWHERE : BINDING_FIRES;
    LVITEMW cell = {};
    cell.mask = LVIF_PARAM;
    cell.iItem = row;
    cell.lParam = tried;
    SendMessageW(HotkeyList(dialog), LVM_SETITEMW, 0, reinterpret_cast<LPARAM>(&cell));
    return tried;
}

// The reason why the row will not fire; false, with nothing written, for a row that fires.
bool DescribeRowFault(HWND dialog, HotkeyTable table, int row, wchar_t* reason)
{
    LPARAM itemData = 0;
    if (!ReadItemData(HotkeyList(dialog), row, &itemData)) {
        return false;
    }
    const BindingFault fault = SettleRowFault(dialog, table, row, itemData);
    if (fault == BINDING_FIRES || GetHotkeyItem(table, row) == nullptr) {
        return false;
    }
    DescribeBindingFault(table, row, fault, reason, FAULT_TEXT_CAPACITY);
    return true;
}

}  // namespace

void CreateReasonLine(HWND dialog)
{
    RECT bounds = REASON_LINE_BOUNDS;
    MapDialogRect(dialog, &bounds);
    const HWND line = CreateWindowExW(0, L"STATIC", L"",
                                      WS_CHILD | WS_VISIBLE | SS_LEFT | SS_NOPREFIX | SS_CENTERIMAGE | SS_ENDELLIPSIS,
                                      bounds.left, bounds.top, bounds.right - bounds.left, bounds.bottom - bounds.top,
                                      dialog, reinterpret_cast<HMENU>(static_cast<INT_PTR>(IDC_ROW_REASON)),
                                      reinterpret_cast<HINSTANCE>(GetWindowLongPtrW(dialog, GWLP_HINSTANCE)), nullptr);
    if (line != nullptr) {
        SendMessageW(line, WM_SETFONT, SendMessageW(dialog, WM_GETFONT, 0, 0), FALSE);
    }
}

void ShowSelectedRowReason(HWND dialog, HotkeyTable table)
{
    wchar_t reason[FAULT_TEXT_CAPACITY] = L"";
    const int row = static_cast<int>(
        SendMessageW(HotkeyList(dialog), LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_SELECTED));
    if (row == -1 || !DescribeRowFault(dialog, table, row, reason)) {
        reason[0] = L'\0';
    }
    SetDlgItemTextW(dialog, IDC_ROW_REASON, reason);
}

// Rows that will not fire are drawn in the grey of unavailable text.
LRESULT DrawFaultyRows(HWND dialog, HotkeyTable table, NMLVCUSTOMDRAW* draw)
{
    switch (draw->nmcd.dwDrawStage) {
    case CDDS_PREPAINT:
        return CDRF_NOTIFYITEMDRAW;
    case CDDS_ITEMPREPAINT:
        if (SettleRowFault(dialog, table, static_cast<int>(draw->nmcd.dwItemSpec), draw->nmcd.lItemlParam) ==
            BINDING_FIRES) {
            return CDRF_DODEFAULT;
        }
        draw->clrText = GetSysColor(COLOR_GRAYTEXT);
        return CDRF_NEWFONT;  // the list takes the colours from the record only when told
    }
    return CDRF_DODEFAULT;
}

// Without flags the list has put the row's cut text in the buffer already; the reason then goes
// below it.
void AddReasonToInfoTip(HWND dialog, HotkeyTable table, NMLVGETINFOTIPW* tip)
{
    wchar_t reason[FAULT_TEXT_CAPACITY];
    if (!DescribeRowFault(dialog, table, tip->iItem, reason)) {
        return;
    }
    const int used = (tip->dwFlags & LVGIT_UNFOLDED) == 0 ? TextLength(tip->pszText) : 0;
    FormatText(tip->pszText + used, tip->cchTextMax - used, used > 0 ? L"\r\n%ls" : L"%ls", reason);
}
