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
// same for the key, the parameter and the two program lists.
constexpr int SAVED_ITEM_CAPACITY = FIELD_COUNT * (ITEM_NAME_CAPACITY + STORED_VALUE_CAPACITY);
// "[hotkeys]" and its line break.
constexpr int SECTION_HEADER_CAPACITY = 16;

// "item<index>_<field>=value" and its line break.
void PutLine(TextCursor* out, int index, const wchar_t* field, const wchar_t* value)
{
    Put(out, L"item");
    PutNumber(out, static_cast<unsigned>(index));
    Put(out, field);
    Put(out, value);
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

// A program list's line; an empty list has none, so a file of bindings without lists is saved as
// before they existed.
void PutListLine(TextCursor* out, int index, const wchar_t* field, const wchar_t* list, wchar_t* value)
{
    if (list[0] != L'\0') {
        StoredProfileValue(value, TEXT_CAPACITY, list);
        PutLine(out, index, field, value);
    }
}

}  // namespace

// Formatted by hand: a formatting call for each of thousands of lines cost more than the rest of
// the save.
wchar_t* FormatHotkeysSection(HotkeyTable table)
{
    const int count = GetHotkeyCount(table);
    const SIZE_T capacity = SECTION_HEADER_CAPACITY + static_cast<SIZE_T>(count) * SAVED_ITEM_CAPACITY + 1;
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
        PutListLine(&out, index, L"_only=", item->only, value);
        PutListLine(&out, index, L"_except=", item->except, value);
    }
    return section;
}
