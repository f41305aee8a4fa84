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

// Where a block's lists begin: right behind the record. A block of the record's size alone has
// none.
const wchar_t* ListsOf(const HotkeyItem* block)
{
    return reinterpret_cast<const wchar_t*>(block + 1);
}

bool HasLists(const HotkeyItem* block)
{
    return BlockSize(block) > sizeof(HotkeyItem);
}

// A new block holding the record and, for a limited binding, "only\0except\0" behind it.
HotkeyItem* NewBlock(const HotkeyItem& item, ProgramLists programs)
{
    const bool limited = IsLimited(programs);
    const SIZE_T onlyUnits = static_cast<SIZE_T>(TextLength(programs.only)) + 1;
    const SIZE_T exceptUnits = static_cast<SIZE_T>(TextLength(programs.except)) + 1;
    const SIZE_T bytes = sizeof(HotkeyItem) + (limited ? (onlyUnits + exceptUnits) * sizeof(wchar_t) : 0);
    auto* block = static_cast<HotkeyItem*>(AllocateBlock(bytes));
    if (block != nullptr) {
        *block = item;
        if (limited) {
            auto* lists = reinterpret_cast<wchar_t*>(block + 1);
            CopyText(lists, static_cast<int>(onlyUnits), programs.only);
            CopyText(lists + onlyUnits, static_cast<int>(exceptUnits), programs.except);
        }
    }
    return block;
}

ProgramLists ProgramsOf(const HotkeyItem* block)
{
    if (block == nullptr || !HasLists(block)) {
        return ANY_PROGRAM;
    }
    const wchar_t* only = ListsOf(block);
    return {only, only + TextLength(only) + 1};
}

// The block belongs to the table once the list box took the entry; otherwise it is freed again.
// A table whose list box could not be created takes nothing.
void AppendBlock(HotkeyTable table, HotkeyItem* block)
{
    if (block == nullptr) {
        return;
    }
    const LRESULT index =
        table != nullptr ? SendMessageW(table, LB_INSERTSTRING, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(L""))
                         : LB_ERR;
    if (index == LB_ERR || index == LB_ERRSPACE) {
        ReleaseBlock(block);
        return;
    }
    SendMessageW(table, LB_SETITEMDATA, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(block));
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

void AppendHotkeyItem(HotkeyTable table, const HotkeyItem* item, ProgramLists programs)
{
    if (item != nullptr && table != nullptr) {
        AppendBlock(table, NewBlock(*item, programs));
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
    for (int i = 0; i < count && copy != nullptr; ++i) {
        const HotkeyItem* block = StoredItem(liveTable, i);
        AppendBlock(copy, NewBlock(*block, ProgramsOf(block)));
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

ProgramLists GetHotkeyPrograms(HotkeyTable table, int index)
{
    return ProgramsOf(GetHotkeyItem(table, index));
}

bool SetHotkeyPrograms(HotkeyTable table, int index, ProgramLists programs)
{
    HotkeyItem* old = GetHotkeyItem(table, index);
    HotkeyItem* block = old != nullptr ? NewBlock(*old, programs) : nullptr;
    if (block == nullptr) {
        return false;
    }
    SendMessageW(table, LB_SETITEMDATA, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(block));
    ReleaseBlock(old);
    return true;
}
