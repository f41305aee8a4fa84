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

}  // namespace

KeyCode ReadItemKey(const wchar_t* path, int index)
{
    wchar_t name[ITEM_NAME_CAPACITY];
    FormatItemName(name, index, L"key");
    return static_cast<KeyCode>(GetPrivateProfileIntW(HOTKEYS_SECTION, name, 0, path));
}

bool ReadItemKeyByKey(const wchar_t* path, int index, HotkeyItem* item)
{
    wchar_t name[ITEM_NAME_CAPACITY];
    item->key = ReadItemKey(path, index);
    FormatItemName(name, index, L"command");
    GetPrivateProfileStringW(HOTKEYS_SECTION, name, L"", item->command, TEXT_CAPACITY, path);
    FormatItemName(name, index, L"param");
    GetPrivateProfileStringW(HOTKEYS_SECTION, name, L"", item->param, TEXT_CAPACITY, path);
    FormatItemName(name, index, L"only");
    GetPrivateProfileStringW(HOTKEYS_SECTION, name, L"", item->only, TEXT_CAPACITY, path);
    FormatItemName(name, index, L"except");
    GetPrivateProfileStringW(HOTKEYS_SECTION, name, L"", item->except, TEXT_CAPACITY, path);
    return item->key != 0;
}

// Unit for unit: the locale's comparison takes some different texts for equal, which would let a
// cut that dropped such a unit pass unseen.
bool SameItem(const HotkeyItem& left, const HotkeyItem& right)
{
    return left.key == right.key && std::wcscmp(left.command, right.command) == 0 &&
           std::wcscmp(left.param, right.param) == 0 && std::wcscmp(left.only, right.only) == 0 &&
           std::wcscmp(left.except, right.except) == 0;
}

const wchar_t** IndexedSection(wchar_t* section, int* lines)
{
    *lines = CountSectionLines(section);
    const SIZE_T bytes = (static_cast<SIZE_T>(*lines) + 1) * FIELD_COUNT * sizeof(const wchar_t*);
    auto** values = static_cast<const wchar_t**>(AllocateBlock(bytes));
    if (values != nullptr) {
        IndexSection(section, *lines, values);
    }
    return values;
}

void ReadItemFields(const wchar_t* const* fields, HotkeyItem* item)
{
    item->key = static_cast<KeyCode>(ReadProfileInteger(ValueOrEmpty(fields[FIELD_KEY])));
    CopyProfileValue(item->command, TEXT_CAPACITY, ValueOrEmpty(fields[FIELD_COMMAND]));
    CopyProfileValue(item->param, TEXT_CAPACITY, ValueOrEmpty(fields[FIELD_PARAM]));
    CopyProfileValue(item->only, TEXT_CAPACITY, ValueOrEmpty(fields[FIELD_ONLY]));
    CopyProfileValue(item->except, TEXT_CAPACITY, ValueOrEmpty(fields[FIELD_EXCEPT]));
}

bool LastEntryReads(const wchar_t* path, int count, const HotkeyItem& expected)
{
    HotkeyItem stored;
    return ReadItemKeyByKey(path, count - 1, &stored) && SameItem(stored, expected);
}
