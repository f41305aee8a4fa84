#include "settings/stored_items.h"

#include <cwchar>

#include "base/heap_block.h"
#include "settings/hotkeys_section.h"
#include "settings/profile_text.h"
#include "settings/safe_save.h"
#include "base/bounded_text.h"

namespace {

void FormatItemName(wchar_t* name, int index, const wchar_t* field)
{
    FormatText(name, ITEM_NAME_CAPACITY, L"item%d_%ls", index, field);
}

// A value of any length: the buffer grows until the reading no longer fills it. A quoted text that
// fills all but the terminator comes back a unit short, since its closing quote did not fit, so
// only a reading two units short of the buffer is whole.
wchar_t* ReadWholeValue(const wchar_t* path, const wchar_t* name)
{
    for (DWORD capacity = TEXT_CAPACITY; capacity < MAXDWORD / 4; capacity *= 2) {
        auto* value = static_cast<wchar_t*>(AllocateBlock(static_cast<SIZE_T>(capacity) * sizeof(wchar_t)));
        if (value == nullptr ||
            GetPrivateProfileStringW(HOTKEYS_SECTION, name, L"", value, capacity, path) < capacity - 2) {
            return value;
        }
        ReleaseBlock(value);
    }
    return nullptr;
}

wchar_t* ReadListValue(const wchar_t* path, int index, const wchar_t* field)
{
    wchar_t name[ITEM_NAME_CAPACITY];
    FormatItemName(name, index, field);
    return ReadWholeValue(path, name);
}

}  // namespace

KeyCode ReadItemKey(const wchar_t* path, int index)
{
    wchar_t name[ITEM_NAME_CAPACITY];
    FormatItemName(name, index, L"key");
    return static_cast<KeyCode>(GetPrivateProfileIntW(HOTKEYS_SECTION, name, 0, path));
}

void ReleaseReadLists(ReadLists lists)
{
    ReleaseBlock(lists.only);
    ReleaseBlock(lists.except);
}

ProgramLists ListsRead(ReadLists lists)
{
    return lists.only != nullptr && lists.except != nullptr ? ProgramLists{lists.only, lists.except} : ANY_PROGRAM;
}

bool ReadItemKeyByKey(const wchar_t* path, int index, HotkeyItem* item, ReadLists* lists)
{
    wchar_t name[ITEM_NAME_CAPACITY];
    item->key = ReadItemKey(path, index);
    FormatItemName(name, index, L"command");
    GetPrivateProfileStringW(HOTKEYS_SECTION, name, L"", item->command, TEXT_CAPACITY, path);
    FormatItemName(name, index, L"param");
    GetPrivateProfileStringW(HOTKEYS_SECTION, name, L"", item->param, TEXT_CAPACITY, path);
    lists->only = ReadListValue(path, index, L"only");
    lists->except = ReadListValue(path, index, L"except");
    return item->key != 0;
}

// Unit for unit: the locale's comparison takes some different texts for equal, which would let a
// cut that dropped such a unit pass unseen.
bool SameItem(const HotkeyItem& left, const HotkeyItem& right)
{
    return left.key == right.key && std::wcscmp(left.command, right.command) == 0 &&
           std::wcscmp(left.param, right.param) == 0;
}

bool SamePrograms(ProgramLists left, ProgramLists right)
{
    return std::wcscmp(left.only, right.only) == 0 && std::wcscmp(left.except, right.except) == 0;
}

wchar_t** IndexedSection(wchar_t* section, int* lines)
{
    *lines = CountSectionLines(section);
    const SIZE_T bytes = (static_cast<SIZE_T>(*lines) + 1) * FIELD_COUNT * sizeof(wchar_t*);
    auto** values = static_cast<wchar_t**>(AllocateBlock(bytes));
    if (values != nullptr) {
        IndexSection(section, *lines, values);
    }
    return values;
}

void ReadItemFields(wchar_t* const* fields, HotkeyItem* item, ProgramLists* programs)
{
    item->key = static_cast<KeyCode>(ReadProfileInteger(ValueOrEmpty(fields[FIELD_KEY])));
    CopyProfileValue(item->command, TEXT_CAPACITY, ValueOrEmpty(fields[FIELD_COMMAND]));
    CopyProfileValue(item->param, TEXT_CAPACITY, ValueOrEmpty(fields[FIELD_PARAM]));
    programs->only = fields[FIELD_ONLY] != nullptr ? UnquoteProfileValue(fields[FIELD_ONLY]) : L"";
    programs->except = fields[FIELD_EXCEPT] != nullptr ? UnquoteProfileValue(fields[FIELD_EXCEPT]) : L"";
}

bool EntryReads(const wchar_t* path, HotkeyTable table, int index)
{
    HotkeyItem stored;
    ReadLists lists = {};
    const bool reads = ReadItemKeyByKey(path, index, &stored, &lists) && lists.only != nullptr &&
                       lists.except != nullptr && SameItem(stored, *GetHotkeyItem(table, index)) &&
                       SamePrograms(ListsRead(lists), GetHotkeyPrograms(table, index));
    ReleaseReadLists(lists);
    return reads;
}
