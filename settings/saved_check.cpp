#include "settings/saved_check.h"

#include "base/heap_block.h"
#include "settings/hotkeys_section.h"
#include "settings/stored_items.h"

namespace {

// A binding is saved as its key, command and parameter, and a line for each list it has.
int SavedLines(ProgramLists programs)
{
    return 3 + (programs.only[0] != L'\0' ? 1 : 0) + (programs.except[0] != L'\0' ? 1 : 0);
}

// The section holds a line for every field the binding was saved with, a list's line only where it
// has that list, and each reads as the binding has it.
bool EntryHolds(wchar_t* const* fields, const HotkeyItem& item, ProgramLists programs)
{
    if (fields[FIELD_KEY] == nullptr || fields[FIELD_COMMAND] == nullptr || fields[FIELD_PARAM] == nullptr ||
        (fields[FIELD_ONLY] != nullptr) != (programs.only[0] != L'\0') ||
        (fields[FIELD_EXCEPT] != nullptr) != (programs.except[0] != L'\0')) {
        return false;
    }
    HotkeyItem read;
    ProgramLists readPrograms = ANY_PROGRAM;
    ReadItemFields(fields, &read, &readPrograms);
    return SameItem(read, item) && SamePrograms(readPrograms, programs);
}

// The entries from first on, and the end of the list after them, as the key-by-key reading finds
// them.
bool RestReadsKeyByKey(const wchar_t* path, HotkeyTable table, int first, int count)
{
    for (int index = first; index < count; ++index) {
        if (!EntryReads(path, table, index)) {
            return false;
        }
    }
    return ReadItemKey(path, count) == 0;
}

}  // namespace

// The entries are compared in the order they were written, each with the lines it was saved as.
// Every entry found whole with the section holding no more lines than their count means no line
// is left over: no stray key, no key past the table, no duplicate. A capped reading may end
// inside a line, so only the entries wholly before its last line are taken from it.
bool HotkeysSectionHolds(const wchar_t* path, HotkeyTable table)
{
    bool capped = false;
    wchar_t* section = ReadHotkeysSection(path, &capped);
    int lines = 0;
    wchar_t** values = section != nullptr ? IndexedSection(section, &lines) : nullptr;
    const int count = GetHotkeyCount(table);
    const int given = capped ? lines - 1 : lines;
    bool holds = values != nullptr;
    int index = 0;
    int used = 0;
    for (; holds && index < count; ++index) {
        const ProgramLists programs = GetHotkeyPrograms(table, index);
        const int entryLines = SavedLines(programs);
        if (used + entryLines > given) {
            break;
        }
        holds = EntryHolds(values + static_cast<SIZE_T>(index) * FIELD_COUNT, *GetHotkeyItem(table, index), programs);
        used += entryLines;
    }
    if (holds && capped) {
        holds = RestReadsKeyByKey(path, table, index, count);
    } else if (holds) {
        holds = index == count && used == lines;
    }
    ReleaseBlock(values);
    ReleaseBlock(section);
    return holds;
}
