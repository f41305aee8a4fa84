#include "hotkeys/hotkey_table.h"

#include "base/heap_block.h"

HotkeyTable liveTable;

namespace {

HotkeyItem* StoredItem(HotkeyTable table, int index)
{
    const LRESULT data = SendMessageW(table, LB_GETITEMDATA, static_cast<WPARAM>(index), 0);
    if (data == LB_ERR) {
        return nullptr;
    }
    return reinterpret_cast<HotkeyItem*>(data);
}

// The copy belongs to the table once the list box took the entry; otherwise it is freed again.
// A table whose list box could not be created takes nothing.
void AppendCopy(HotkeyTable table, const HotkeyItem* source)
{
    if (table == nullptr) {
        return;
    }
    auto* copy = static_cast<HotkeyItem*>(AllocateBlock(sizeof(HotkeyItem)));
    if (copy == nullptr) {
        return;
    }
    *copy = *source;
    const LRESULT index = SendMessageW(table, LB_INSERTSTRING, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(L""));
    if (index == LB_ERR || index == LB_ERRSPACE) {
        ReleaseBlock(copy);
        return;
    }
    SendMessageW(table, LB_SETITEMDATA, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(copy));
}

}  // namespace

UINT HotkeyModifiers(KeyCode key)
{
    UINT modifiers = 0;
    if ((key & KEY_SHIFT) != 0) {
        modifiers |= MOD_SHIFT;
    }
    if ((key & KEY_CONTROL) != 0) {
        modifiers |= MOD_CONTROL;
    }
    if ((key & KEY_ALT) != 0) {
        modifiers |= MOD_ALT;
    }
    if ((key & KEY_WIN) != 0) {
        modifiers |= MOD_WIN;
    }
    return modifiers;
}

HotkeyTable CreateHotkeyTable()
{
    return CreateWindowExW(0, L"LISTBOX", nullptr, 0, 0, 0, 0, 0, nullptr, nullptr, nullptr, nullptr);
}

void AppendHotkeyItem(HotkeyTable table, const HotkeyItem* item)
{
    if (item != nullptr) {
        AppendCopy(table, item);
    }
}

void DeleteHotkeyItem(HotkeyTable table, int index)
{
    if (index < 0 || index >= GetHotkeyCount(table)) {
        return;
    }
    ReleaseBlock(StoredItem(table, index));
    SendMessageW(table, LB_DELETESTRING, static_cast<WPARAM>(index), 0);
}

// Every record first, then the entries in one reset: deleting entries one at a time makes the
// list box invalidate itself for each, which cost tens of milliseconds per thousand bindings.
void ClearHotkeyTable(HotkeyTable table)
{
    const int count = GetHotkeyCount(table);
    for (int i = 0; i < count; ++i) {
        ReleaseBlock(StoredItem(table, i));
    }
    SendMessageW(table, LB_RESETCONTENT, 0, 0);
}

void DestroyHotkeyTable(HotkeyTable table)
{
    ClearHotkeyTable(table);
    DestroyWindow(table);
}

HotkeyTable CloneHotkeyTable()
{
    const HotkeyTable copy = CreateHotkeyTable();
    const int count = GetHotkeyCount(liveTable);
    for (int i = 0; i < count; ++i) {
        AppendCopy(copy, StoredItem(liveTable, i));
    }
    return copy;
}

int FindHotkeyItem(HotkeyTable table, KeyCode key)
{
    const int count = GetHotkeyCount(table);
    for (int i = 0; i < count; ++i) {
        if (StoredItem(table, i)->key == key) {
            return i;
        }
    }
    return -1;
}

int GetHotkeyCount(HotkeyTable table)
{
    const LRESULT count = SendMessageW(table, LB_GETCOUNT, 0, 0);
    return count > 0 ? static_cast<int>(count) : 0;
}

// The list box answers LB_ERR for an index past its end, which spares asking for the count on
// every look-up.
HotkeyItem* GetHotkeyItem(HotkeyTable table, int index)
{
    if (index < 0) {
        return nullptr;
    }
    return StoredItem(table, index);
}
