#include "settings/section_text.h"

#include "base/bounded_text.h"
#include "base/heap_block.h"
#include "settings/profile_text.h"
#include "settings/stored_items.h"

namespace {

constexpr int NUMBER_CAPACITY = 16;
// A text in the form that reads back exactly: the text, a pair of quotes and the terminator.
constexpr int STORED_VALUE_CAPACITY = TEXT_CAPACITY + 2;
// "item<index>_command=" for the largest index, the stored value and the line break, and the
// same for the key and the parameter.
constexpr int SAVED_ITEM_CAPACITY = 3 * (ITEM_NAME_CAPACITY + STORED_VALUE_CAPACITY);
// "[hotkeys]" and its line break.
constexpr int SECTION_HEADER_CAPACITY = 16;

// A text being written and the end of its room; what does not fit is dropped.
struct SectionWriter {
    wchar_t* at;
    const wchar_t* end;
};

void Put(SectionWriter* out, const wchar_t* text)
{
    while (*text != L'\0' && out->at < out->end) {
        *out->at++ = *text++;
    }
}

void PutNumber(SectionWriter* out, unsigned number)
{
    wchar_t digits[NUMBER_CAPACITY];
    int count = 0;
    do {
        digits[count++] = static_cast<wchar_t>(L'0' + number % 10);
        number /= 10;
    } while (number != 0);
    while (count > 0 && out->at < out->end) {
        *out->at++ = digits[--count];
    }
}

// "item<index>_<field>=value" and its line break.
void PutLine(SectionWriter* out, int index, const wchar_t* field, const wchar_t* value)
{
    Put(out, L"item");
    PutNumber(out, static_cast<unsigned>(index));
    Put(out, field);
    Put(out, value);
    Put(out, L"\r\n");
}

// The key's line, its value in decimal.
void PutKeyLine(SectionWriter* out, int index, KeyCode key)
{
    wchar_t value[NUMBER_CAPACITY] = {};
    SectionWriter digits = {value, value + NUMBER_CAPACITY - 1};
    PutNumber(&digits, key);
    PutLine(out, index, L"_key=", value);
}

}  // namespace

// The [hotkeys] section as text: its header, then a "name=value" line for each field of every
// binding, each value in the form that reads back exactly, each line ended by CR LF. Formatted
// by hand: a formatting call for each of thousands of lines cost more than the rest of the save.
// Empty for an empty table; null when there is no memory.
wchar_t* FormatHotkeysSection(HotkeyTable table)
{
    const int count = GetHotkeyCount(table);
    const SIZE_T capacity = SECTION_HEADER_CAPACITY + static_cast<SIZE_T>(count) * SAVED_ITEM_CAPACITY + 1;
    auto* section = static_cast<wchar_t*>(AllocateBlock(capacity * sizeof(wchar_t)));
    if (section == nullptr || count == 0) {
        return section;
    }
    SectionWriter out = {section, section + capacity - 1};  // the terminator stays
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
    }
    return section;
}

