#include "settings/saved_check.h"

#include <cwchar>

#include "base/bounded_text.h"
#include "base/heap_block.h"
#include "settings/hotkeys_section.h"
#include "settings/stored_items.h"

namespace {

constexpr wchar_t SETTING_SECTION[] = L"setting";
constexpr wchar_t ENABLE_KEY[] = L"enable";
constexpr DWORD FIRST_CAPACITY = 4096;

// A call of the reader that fills a buffer with terminated texts, the last followed by a second
// terminator, given in units; grown until it fits. Null when there is no memory.
template <typename Read>
wchar_t* ReadGrowing(Read read)
{
    for (DWORD capacity = FIRST_CAPACITY; capacity <= MAXDWORD / 4; capacity *= 2) {
        auto* buffer = static_cast<wchar_t*>(AllocateBlock(static_cast<SIZE_T>(capacity) * sizeof(wchar_t)));
        if (buffer == nullptr || read(buffer, capacity) < capacity - 2) {
            return buffer;
        }
        ReleaseBlock(buffer);
    }
    return nullptr;
}

// A text being written; it grows as needed. Null text once memory ran short.
struct GrowingText {
    wchar_t* text;
    SIZE_T length;
    SIZE_T capacity;
};

void Append(GrowingText* out, const wchar_t* text)
{
    const SIZE_T length = static_cast<SIZE_T>(TextLength(text));
    if (out->text != nullptr && out->length + length + 2 > out->capacity) {
        const SIZE_T capacity = (out->length + length + 2) * 2;
        auto* grown = static_cast<wchar_t*>(AllocateBlock(capacity * sizeof(wchar_t)));
        if (grown != nullptr) {
            CopyMemory(grown, out->text, out->length * sizeof(wchar_t));
        }
        ReleaseBlock(out->text);
        out->text = grown;
        out->capacity = capacity;
    }
    if (out->text != nullptr) {
        CopyMemory(out->text + out->length, text, length * sizeof(wchar_t));
        out->length += length;
    }
}

// A "name=value" line whose name is the flag's.
bool IsFlagLine(const wchar_t* line)
{
    while (*line == L' ' || *line == L'\t') {
        ++line;
    }
    const int length = TextLength(ENABLE_KEY);
    if (CompareStringOrdinal(line, length, ENABLE_KEY, length, TRUE) != CSTR_EQUAL) {
        return false;
    }
    line += length;
    while (*line == L' ' || *line == L'\t') {
        ++line;
    }
    return *line == L'=' || *line == L'\0';
}

// The section's lines, each followed by a line feed, that the save leaves as they are.
void AppendSection(GrowingText* out, const wchar_t* path, const wchar_t* name, bool flag)
{
    wchar_t* lines = ReadGrowing([&](wchar_t* buffer, DWORD capacity) {
        return GetPrivateProfileSectionW(name, buffer, capacity, path);
    });
    if (lines == nullptr) {
        ReleaseBlock(out->text);
        out->text = nullptr;
        return;
    }
    const bool setting = lstrcmpiW(name, SETTING_SECTION) == 0;
    const SIZE_T header = out->length;
    bool kept = false;
    Append(out, L"[");
    Append(out, name);
    Append(out, L"]\n");
    for (const wchar_t* line = lines; *line != L'\0'; line += TextLength(line) + 1) {
        if (!(flag && setting && IsFlagLine(line))) {
            Append(out, line);
            Append(out, L"\n");
            kept = true;
        }
    }
    // [setting] may hold only the flag, which a first save adds.
    if (flag && setting && !kept && out->text != nullptr) {
        out->length = header;
    }
    ReleaseBlock(lines);
}

}  // namespace

wchar_t* ReadUntouchedSettings(const wchar_t* path, bool bindings, bool flag)
{
    wchar_t* names = ReadGrowing([&](wchar_t* buffer, DWORD capacity) {
        return GetPrivateProfileSectionNamesW(buffer, capacity, path);
    });
    GrowingText out = {static_cast<wchar_t*>(AllocateBlock(FIRST_CAPACITY * sizeof(wchar_t))), 0, FIRST_CAPACITY};
    for (const wchar_t* name = names; name != nullptr && *name != L'\0' && out.text != nullptr; name += TextLength(name) + 1) {
        if (!(bindings && lstrcmpiW(name, HOTKEYS_SECTION) == 0)) {
            AppendSection(&out, path, name, flag);
        }
    }
    if (names == nullptr) {
        ReleaseBlock(out.text);
        out.text = nullptr;
    }
    if (out.text != nullptr) {
        out.text[out.length] = L'\0';
    }
    ReleaseBlock(names);
    return out.text;
}

bool HotkeysSectionHolds(const wchar_t* path, HotkeyTable table)
{
    wchar_t* section = ReadHotkeysSection(path);
    int lines = 0;
    const wchar_t** values = section != nullptr ? IndexedSection(section, &lines) : nullptr;
    const int count = GetHotkeyCount(table);
    bool holds = values != nullptr;
    // Every entry is three lines; fewer is a platform that capped the reading, whose last entry
    // given may be cut.
    const bool capped = lines < FIELD_COUNT * count;
    const int given = capped ? lines / FIELD_COUNT - 1 : count;
    HotkeyItem item;
    for (int index = 0; holds && index < given; ++index) {
        ReadItemFields(values + static_cast<SIZE_T>(index) * FIELD_COUNT, &item);
        holds = SameItem(item, *GetHotkeyItem(table, index));
    }
    if (holds && capped) {
        holds = ReadItemKey(path, count) == 0 && LastEntryReads(path, count, *GetHotkeyItem(table, count - 1));
    } else if (holds) {
        holds = lines == FIELD_COUNT * count;
    }
    ReleaseBlock(values);
    ReleaseBlock(section);
    return holds;
}
