#include "settings/section_text.h"

#include "base/bounded_text.h"
#include "base/heap_block.h"
#include "base/text_cursor.h"
#include "settings/hotkeys_section.h"
#include "settings/profile_text.h"
#include "settings/stored_items.h"

namespace {

constexpr int NUMBER_CAPACITY = 16;
// A text in the form that reads back exactly: the text, a pair of quotes and the terminator.
constexpr int STORED_VALUE_CAPACITY = TEXT_CAPACITY + 2;
// "item<index>_command=" for the largest index, the stored value and the line break, and the
// same for the key and the parameter.
constexpr SIZE_T SAVED_ITEM_CAPACITY = SIZE_T{3} * (ITEM_NAME_CAPACITY + STORED_VALUE_CAPACITY);
// A program list's line beyond the list itself: its name, a pair of quotes and the line break.
constexpr SIZE_T LIST_LINE_CAPACITY = ITEM_NAME_CAPACITY + 4;
// "[hotkeys]" and its line break.
constexpr int SECTION_HEADER_CAPACITY = 16;

// "item<index>_<field>=value" and its line break, the value inside the quote given.
void PutLine(TextCursor* out, int index, const wchar_t* field, const wchar_t* value, const wchar_t* quote = L"")
{
    Put(out, L"item");
    PutNumber(out, static_cast<unsigned>(index));
    Put(out, field);
    Put(out, quote);
    Put(out, value);
    Put(out, quote);
    Put(out, L"\r\n");
}

// The key's line, its value in decimal.
void PutKeyLine(TextCursor* out, int index, KeyCode key)
{
    wchar_t value[NUMBER_CAPACITY] = {};
    TextCursor digits = {value, value + NUMBER_CAPACITY - 1};
    PutNumber(&digits, key);
    PutLine(out, index, L"_key=", value);
}

// A program list's line, written whole at any length; an empty list has none, so a file of
// bindings without lists is saved as before they existed.
void PutListLine(TextCursor* out, int index, const wchar_t* field, const wchar_t* list)
{
    if (list[0] == L'\0') {
        return;
    }
    PutLine(out, index, field, list, NeedsProfileQuotes(list) ? L"\"" : L"");
}

SIZE_T ListLineCapacity(const wchar_t* list)
{
    return list[0] != L'\0' ? LIST_LINE_CAPACITY + static_cast<SIZE_T>(TextLength(list)) : 0;
}

// Room for every line of the table's bindings.
SIZE_T SectionCapacity(HotkeyTable table, int count)
{
    SIZE_T capacity = SECTION_HEADER_CAPACITY + 1;
    for (int index = 0; index < count; ++index) {
        const ProgramLists programs = GetHotkeyPrograms(table, index);
        capacity += SAVED_ITEM_CAPACITY + ListLineCapacity(programs.only) + ListLineCapacity(programs.except);
    }
    return capacity;
}

}  // namespace

// Formatted by hand: a formatting call for each of thousands of lines cost more than the rest of
// the save.
wchar_t* FormatHotkeysSection(HotkeyTable table)
{
    const int count = GetHotkeyCount(table);
    const SIZE_T capacity = SectionCapacity(table, count);
    auto* section = static_cast<wchar_t*>(AllocateBlock(capacity * sizeof(wchar_t)));
    if (section == nullptr || count == 0) {
        return section;
    }
    TextCursor out = {section, section + capacity - 1};  // the terminator stays
    Put(&out, L"[");
    Put(&out, HOTKEYS_SECTION);
    Put(&out, L"]\r\n");
    wchar_t value[STORED_VALUE_CAPACITY];
    for (int index = 0; index < count; ++index) {
        const HotkeyItem* item = GetHotkeyItem(table, index);
        PutKeyLine(&out, index, item->key);
        StoredProfileValue(value, TEXT_CAPACITY, item->command);
        PutLine(&out, index, L"_command=", value);
        StoredProfileValue(value, TEXT_CAPACITY, item->param);
        PutLine(&out, index, L"_param=", value);
        const ProgramLists programs = GetHotkeyPrograms(table, index);
        PutListLine(&out, index, L"_only=", programs.only);
        PutListLine(&out, index, L"_except=", programs.except);
    }
    return section;
}

bool TableHasStoredForm(HotkeyTable table)
{
    const int count = GetHotkeyCount(table);
    for (int index = 0; index < count; ++index) {
        const HotkeyItem* item = GetHotkeyItem(table, index);
        if (!HasStoredForm(item->command, TEXT_CAPACITY) || !HasStoredForm(item->param, TEXT_CAPACITY)) {
            return false;
        }
    }
    return true;
}
