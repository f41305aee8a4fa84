#include "settings/saved_check.h"


#include "base/bounded_text.h"
#include "base/heap_block.h"
#include "settings/hotkeys_section.h"
#include "settings/stored_items.h"

bool HotkeysSectionHolds(const wchar_t* path, HotkeyTable table)
{
    wchar_t* section = ReadHotkeysSection(path);
    int lines = 0;
    wchar_t** values = section != nullptr ? IndexedSection(section, &lines) : nullptr;
    const int count = GetHotkeyCount(table);
    bool holds = values != nullptr;
    // Every entry is three lines; fewer is a platform that capped the reading, whose last entry
    // given may be cut.
    const bool capped = lines < FIELD_COUNT * count;
    const int given = capped ? lines / FIELD_COUNT - 1 : count;
    HotkeyItem item;
    ProgramLists programs = ANY_PROGRAM;
    for (int index = 0; holds && index < given; ++index) {
        ReadItemFields(values + static_cast<SIZE_T>(index) * FIELD_COUNT, &item, &programs);
        holds = SameItem(item, *GetHotkeyItem(table, index)) && SamePrograms(programs, GetHotkeyPrograms(table, index));
    }
    if (holds && capped) {
        holds = ReadItemKey(path, count) == 0 && LastEntryReads(path, table, count);
    } else if (holds) {
        holds = lines == FIELD_COUNT * count;
    }
    ReleaseBlock(values);
    ReleaseBlock(section);
    return holds;
}
