#include "settings/hotkeys_section.h"

#include <shlwapi.h>

#include <climits>

#include "base/heap_block.h"
#include "settings/profile_text.h"
#include "settings/safe_save.h"
#include "base/bounded_text.h"

namespace {

// The most units of a section that some platforms hand out in one call, terminators included.
constexpr DWORD SECTION_READ_LIMIT = 32767;

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

// Recognises "item<index>_key", "_command", "_param", "_only" and "_except" in any letter case, with the index in
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
    } else if (TextLength(unit) == 5 && EqualsIgnoringCase(unit, L"_only")) {
        *field = FIELD_ONLY;
    } else if (TextLength(unit) == 7 && EqualsIgnoringCase(unit, L"_except")) {
        *field = FIELD_EXCEPT;
    } else {
        return false;
    }
    return true;
}

}  // namespace

// Every read of a section parses the whole file again, so the buffer is sized from the file at
// once: the section holds no more units than the file has bytes, whatever its encoding. It
// still grows should the file have grown meanwhile.
wchar_t* ReadHotkeysSection(const wchar_t* path, bool* capped)
{
    DWORD capacity = 32768;
    WIN32_FILE_ATTRIBUTE_DATA file;
    if (GetFileAttributesExW(path, GetFileExInfoStandard, &file) && file.nFileSizeHigh == 0 &&
        file.nFileSizeLow < MAXDWORD / 4) {
        capacity = file.nFileSizeLow + 4;
    }
    for (;;) {
        auto* buffer = static_cast<wchar_t*>(AllocateBlock(static_cast<SIZE_T>(capacity) * sizeof(wchar_t)));
        if (buffer == nullptr) {
            return nullptr;
        }
        const DWORD length = GetPrivateProfileSectionW(HOTKEYS_SECTION, buffer, capacity, path);
        if (length < capacity - 2) {
            // A whole section of exactly that length is taken for a capped one too, which costs
            // only a slower check.
            if (capped != nullptr) {
                *capped = capacity > SECTION_READ_LIMIT && length == SECTION_READ_LIMIT - 2;
            }
            return buffer;
        }
        ReleaseBlock(buffer);
        if (capacity > MAXDWORD / 4) {
            return nullptr;
        }
        capacity *= 2;
    }
}

int CountSectionLines(const wchar_t* section)
{
    int lines = 0;
    for (const wchar_t* line = section; *line != L'\0'; line += TextLength(line) + 1) {
        ++lines;
    }
    return lines;
}

// Points values[index * FIELD_COUNT + field] at the first value given for that key. Only
// indices below the number of lines can belong to the unbroken run from item0 that loads.
void IndexSection(wchar_t* section, int lines, wchar_t** values)
{
    for (wchar_t* line = section; *line != L'\0';) {
        wchar_t* next = line + TextLength(line) + 1;
        wchar_t* separator = StrChrW(line, L'=');
        // A line without "=" names a key with no value, which reads as empty: its own terminator.
        // The platform hands a value out without the blanks at its line's end; one that holds a zero
        // unit ends there instead, and the blanks before that unit are part of it to every reader.
        wchar_t* value = next - 1;
        if (separator != nullptr) {
            *separator = L'\0';
            value = separator + 1;
            while (IsProfileBlank(*value)) {
                ++value;
            }
        }
        int index = 0;
        ItemField field = FIELD_KEY;
        if (ParseItemName(TrimProfileBlanks(line), &index, &field) && index < lines &&
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
