#include "hotkeys/settings_file.h"

#include <windows.h>
#include <shlwapi.h>

#include <climits>

#include "hotkeys/hotkey_table.h"
#include "hotkeys/hotkey_window.h"
#include "plugin/plugin_state.h"

// The [hotkeys] section is read with one call and written with one call: key by key, the
// private-profile functions reread or rewrite the whole file for every key, which made loading
// and saving a thousand bindings take seconds on the host's user-interface thread. The reading
// below gives each key the value the key-by-key functions would give it.

namespace {

constexpr wchar_t SETTING_SECTION[] = L"setting";
constexpr wchar_t ENABLE_KEY[] = L"enable";
constexpr wchar_t HOTKEYS_SECTION[] = L"hotkeys";
constexpr int NUMBER_CAPACITY = 16;
// The integer reading looks at no more of a value than this, terminator included.
constexpr int INTEGER_TEXT_CAPACITY = 30;
// "item<index>_command=" for the largest index, the text and the terminator, and the same for
// the key and the parameter.
constexpr int SAVED_ITEM_CAPACITY = 3 * (32 + TEXT_CAPACITY);

// The most [hotkeys] sections one save deletes; a file edited by hand holds one, rarely two.
constexpr int MAX_SECTION_DELETIONS = 1000;

enum ItemField { FIELD_KEY, FIELD_COMMAND, FIELD_PARAM, FIELD_COUNT };

// Set when the stored bindings could not all be taken into the table (no memory): the save then
// leaves the file's [hotkeys] as they are rather than replacing them with the part that loaded.
bool bindingsIncomplete;

// The library's own path with ".ini" for its extension, derived afresh on every use. A path that
// does not fit the buffer is refused rather than cut, so nothing is written to a wrong file.
bool GetSettingsPath(wchar_t* path)
{
    const DWORD length = GetModuleFileNameW(moduleInstance, path, TEXT_CAPACITY);
    if (length == 0 || length >= static_cast<DWORD>(TEXT_CAPACITY)) {
        return false;
    }
    return PathRenameExtensionW(path, L".ini") != FALSE;
}

void* AllocateZeroed(SIZE_T bytes)
{
    return HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, bytes);
}

void Release(void* block)
{
    if (block != nullptr) {
        HeapFree(GetProcessHeap(), 0, block);
    }
}

// The whole section as "name=value" strings, each terminated, the last followed by a second
// terminator; null when there is no memory. The buffer grows until the section fits.
wchar_t* ReadSection(const wchar_t* path)
{
    DWORD capacity = 32768;
    for (;;) {
        auto* buffer = static_cast<wchar_t*>(AllocateZeroed(static_cast<SIZE_T>(capacity) * sizeof(wchar_t)));
        if (buffer == nullptr) {
            return nullptr;
        }
        const DWORD length = GetPrivateProfileSectionW(HOTKEYS_SECTION, buffer, capacity, path);
        if (length < capacity - 2) {
            return buffer;
        }
        Release(buffer);
        if (capacity > MAXDWORD / 4) {
            return nullptr;
        }
        capacity *= 2;
    }
}

bool IsBlank(wchar_t unit)
{
    return unit == L' ' || unit == L'\t' || unit == L'\r' || unit == L'\n' || unit == L'\v' || unit == L'\f';
}

// Cuts blanks off both ends in place; returns the first unit that is kept.
wchar_t* TrimBlanks(wchar_t* text)
{
    while (IsBlank(*text)) {
        ++text;
    }
    wchar_t* end = text + TextLength(text);
    while (end > text && IsBlank(end[-1])) {
        *--end = L'\0';
    }
    return text;
}

// A value as the key-by-key reading hands it out: one pair of matching quotes around it is
// taken off, and it is cut to capacity - 1 units (a closing quote cut off with the rest stays
// unremoved, as it does there).
void CopyValue(wchar_t* target, int capacity, const wchar_t* value)
{
    wchar_t quote = L'\0';
    if ((value[0] == L'\'' || value[0] == L'"') && value[1] != L'\0' && value[TextLength(value) - 1] == value[0]) {
        quote = *value++;
    }
    CopyText(target, capacity, value);
    if (quote != L'\0' && capacity >= TextLength(value)) {
        target[TextLength(target) - 1] = L'\0';
    }
}

// An integer as the key-by-key reading turns a value into one: optional blanks and sign, then a
// number in base 10, or in base 16, 8 or 2 after "0x", "0o" or "0b"; it stops at the first unit
// that is no digit of the base and wraps around at 32 bits.
UINT ReadInteger(const wchar_t* value)
{
    wchar_t text[INTEGER_TEXT_CAPACITY];
    CopyValue(text, INTEGER_TEXT_CAPACITY, value);
    const wchar_t* unit = text;
    while (*unit != L'\0' && *unit <= L' ') {
        ++unit;
    }
    bool negative = false;
    if (*unit == L'+' || *unit == L'-') {
        negative = *unit == L'-';
        ++unit;
    }
    UINT base = 10;
    if (unit[0] == L'0' && (unit[1] == L'x' || unit[1] == L'o' || unit[1] == L'b')) {
        base = unit[1] == L'x' ? 16 : unit[1] == L'o' ? 8 : 2;
        unit += 2;
    }
    UINT total = 0;
    for (;; ++unit) {
        UINT digit;
        if (*unit >= L'0' && *unit <= L'9') {
            digit = static_cast<UINT>(*unit - L'0');
        } else if (*unit >= L'a' && *unit <= L'z') {
            digit = static_cast<UINT>(*unit - L'a') + 10;
        } else if (*unit >= L'A' && *unit <= L'Z') {
            digit = static_cast<UINT>(*unit - L'A') + 10;
        } else {
            break;
        }
        if (digit >= base) {
            break;
        }
        total = total * base + digit;
    }
    return negative ? 0u - total : total;
}

// Compares the first units of text with a lower-case literal, as long as the literal is.
template <size_t size>
bool EqualsIgnoringCase(const wchar_t* text, const wchar_t (&lowerCase)[size])
{
    for (size_t i = 0; i + 1 < size; ++i) {
        wchar_t unit = text[i];
        if (unit >= L'A' && unit <= L'Z') {
            unit = static_cast<wchar_t>(unit - L'A' + L'a');
        }
        if (unit != lowerCase[i]) {
            return false;
        }
    }
    return true;
}

// Recognises "item<index>_key", "_command" and "_param" in any letter case, with the index in
// plain decimal as the saving writes it; any other name is no item key.
bool ParseItemName(const wchar_t* name, int* index, ItemField* field)
{
    if (!EqualsIgnoringCase(name, L"item")) {
        return false;
    }
    const wchar_t* unit = name + 4;
    if (*unit < L'0' || *unit > L'9' || (unit[0] == L'0' && unit[1] >= L'0' && unit[1] <= L'9')) {
        return false;
    }
    long long value = 0;
    for (; *unit >= L'0' && *unit <= L'9'; ++unit) {
        value = value * 10 + (*unit - L'0');
        if (value > INT_MAX) {
            return false;
        }
    }
    *index = static_cast<int>(value);
    if (TextLength(unit) == 4 && EqualsIgnoringCase(unit, L"_key")) {
        *field = FIELD_KEY;
    } else if (TextLength(unit) == 8 && EqualsIgnoringCase(unit, L"_command")) {
        *field = FIELD_COMMAND;
    } else if (TextLength(unit) == 6 && EqualsIgnoringCase(unit, L"_param")) {
        *field = FIELD_PARAM;
    } else {
        return false;
    }
    return true;
}

int CountLines(const wchar_t* section)
{
    int lines = 0;
    for (const wchar_t* line = section; *line != L'\0'; line += TextLength(line) + 1) {
        ++lines;
    }
    return lines;
}

// Points values[index * FIELD_COUNT + field] at the first value given for that key. Only
// indices below the number of lines can belong to the unbroken run from item0 that loads.
void IndexSection(wchar_t* section, int lines, const wchar_t** values)
{
    for (wchar_t* line = section; *line != L'\0';) {
        wchar_t* next = line + TextLength(line) + 1;
        wchar_t* separator = StrChrW(line, L'=');
        // A line without "=" names a key with no value, which reads as empty.
        const wchar_t* value = L"";
        if (separator != nullptr) {
            *separator = L'\0';
            value = TrimBlanks(separator + 1);
        }
        int index = 0;
        ItemField field = FIELD_KEY;
        if (ParseItemName(TrimBlanks(line), &index, &field) && index < lines &&
            values[index * FIELD_COUNT + field] == nullptr) {
            values[index * FIELD_COUNT + field] = value;
        }
        line = next;
    }
}

const wchar_t* ValueOrEmpty(const wchar_t* value)
{
    return value != nullptr ? value : L"";
}

bool HasHotkeysSection(const wchar_t* path)
{
    wchar_t probe[4];
    return GetPrivateProfileSectionW(HOTKEYS_SECTION, probe, ARRAYSIZE(probe), path) > 0;
}

// A file edited by hand may hold [hotkeys] more than once, and a deletion removes only the first:
// the next would come back as the bindings of the next start. A file that cannot be written ends
// the passes, and so does their bound, whatever the platform does.
void DeleteHotkeysSections(const wchar_t* path)
{
    for (int pass = 0; pass < MAX_SECTION_DELETIONS; ++pass) {
        if (!WritePrivateProfileStringW(HOTKEYS_SECTION, nullptr, nullptr, path) || !HasHotkeysSection(path)) {
            return;
        }
    }
}

}  // namespace

void LoadEnabledFlag()
{
    wchar_t path[TEXT_CAPACITY];
    enabledFlag = GetSettingsPath(path) ? static_cast<int>(GetPrivateProfileIntW(SETTING_SECTION, ENABLE_KEY, 1, path)) : 1;
}

void SaveEnabledFlag()
{
    wchar_t path[TEXT_CAPACITY];
    if (!GetSettingsPath(path)) {
        return;
    }
    wchar_t value[NUMBER_CAPACITY];
    FormatText(value, NUMBER_CAPACITY, L"%d", enabledFlag);
    WritePrivateProfileStringW(SETTING_SECTION, ENABLE_KEY, value, path);
}

void LoadHotkeyItems()
{
    bindingsIncomplete = false;
    wchar_t path[TEXT_CAPACITY];
    if (!GetSettingsPath(path)) {
        return;
    }
    wchar_t* section = ReadSection(path);
    if (section == nullptr) {
        bindingsIncomplete = true;
        return;
    }
    const int lines = CountLines(section);
    if (lines == 0) {
        Release(section);
        return;
    }
    auto** values = static_cast<const wchar_t**>(
        AllocateZeroed(static_cast<SIZE_T>(lines) * FIELD_COUNT * sizeof(const wchar_t*)));
    bindingsIncomplete = values == nullptr;
    if (values != nullptr) {
        IndexSection(section, lines, values);
        HotkeyItem item;
        for (int index = 0; index < lines; ++index) {
            const wchar_t** fields = values + static_cast<SIZE_T>(index) * FIELD_COUNT;
            item.key = static_cast<KeyCode>(ReadInteger(ValueOrEmpty(fields[FIELD_KEY])));
            if (item.key == 0) {
                break;
            }
            CopyValue(item.command, TEXT_CAPACITY, ValueOrEmpty(fields[FIELD_COMMAND]));
            CopyValue(item.param, TEXT_CAPACITY, ValueOrEmpty(fields[FIELD_PARAM]));
            // An entry with an empty command is kept: the user stored it, and dropping it would
            // shift the ids of every later entry.
            const int loaded = GetHotkeyCount(liveTable);
            AppendHotkeyItem(liveTable, &item);
            bindingsIncomplete = bindingsIncomplete || GetHotkeyCount(liveTable) == loaded;
        }
        Release(values);
    }
    Release(section);
}

void SaveHotkeyItems()
{
    wchar_t path[TEXT_CAPACITY];
    if (bindingsIncomplete || !GetSettingsPath(path)) {
        return;
    }
    const int count = GetHotkeyCount(liveTable);
    const SIZE_T capacity = static_cast<SIZE_T>(count) * SAVED_ITEM_CAPACITY + 1;
    auto* section = static_cast<wchar_t*>(AllocateZeroed(capacity * sizeof(wchar_t)));
    if (section == nullptr) {
        return;  // the file keeps the bindings of the last save rather than losing them
    }
    // Deleting first puts the rewritten section at the end of the file, where writing key by key
    // would put it; an empty table leaves no section at all.
    DeleteHotkeysSections(path);
    wchar_t* line = section;
    const wchar_t* const end = section + capacity - 1;  // the list's closing terminator stays
    for (int index = 0; index < count; ++index) {
        const HotkeyItem* item = GetHotkeyItem(liveTable, index);
        FormatText(line, static_cast<int>(end - line), L"item%d_key=%u", index, static_cast<unsigned>(item->key));
        line += TextLength(line) + 1;
        FormatText(line, static_cast<int>(end - line), L"item%d_command=%ls", index, item->command);
        line += TextLength(line) + 1;
        FormatText(line, static_cast<int>(end - line), L"item%d_param=%ls", index, item->param);
        line += TextLength(line) + 1;
    }
    if (count > 0) {
        WritePrivateProfileSectionW(HOTKEYS_SECTION, section, path);
    }
    Release(section);
}
