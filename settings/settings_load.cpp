#include "settings/settings.h"

#include <windows.h>

#include "base/heap_block.h"
#include "hotkeys/hotkey_table.h"
#include "settings/hotkeys_section.h"
#include "settings/load_state.h"
#include "settings/private_copy.h"
#include "settings/setting_keys.h"
#include "settings/settings_source.h"
#include "settings/settings_watch.h"
#include "settings/stored_items.h"
#include "settings/work_files.h"

// The [hotkeys] section is read with one call: key by key, the private-profile functions reread
// the whole file for every key, which made loading a thousand bindings take seconds on the host's
// user-interface thread. The reading gives each key the value the key-by-key functions would give
// it. A platform may cap what one call reads, so a reading is checked key by key at its end and
// done key by key when the check fails.
//
// The load reads the file itself, or a private copy of it when the profile functions cannot be
// trusted with it: a UTF-8 file (read in the ANSI code page, or with its mark joining the first
// line) or a path longer than they take. What it could not take in, every save keeps as the file
// has it (load_state.h).

bool bindingsIncomplete;
bool flagNotLoaded;
bool tableInFile;

namespace {

// Appends the item; false when the table refused it or its lists could not all be read.
bool AppendToTable(HotkeyTable table, const HotkeyItem& item, ReadLists lists)
{
    const int count = GetHotkeyCount(table);
    AppendHotkeyItem(table, &item, ListsRead(lists));
    return GetHotkeyCount(table) > count && lists.only != nullptr && lists.except != nullptr;
}

// The section read in one call. False when not all of it could be taken for want of memory.
bool LoadFromSection(const wchar_t* path, HotkeyTable table, bool* capped)
{
    wchar_t* section = ReadHotkeysSection(path, capped);
    if (section == nullptr) {
        return false;
    }
    int lines = 0;
    wchar_t** values = IndexedSection(section, &lines);
    bool complete = values != nullptr;
    if (complete) {
        const int before = GetHotkeyCount(table);
        int taken = 0;
        HotkeyItem item;
        ProgramLists programs = ANY_PROGRAM;
        for (int index = 0; index < lines; ++index) {
            ReadItemFields(values + static_cast<SIZE_T>(index) * FIELD_COUNT, &item, &programs);
            if (item.key == 0) {
                break;
            }
            // An entry with an empty command is kept: the user stored it, and dropping it would
            // shift the ids of every later entry.
            AppendHotkeyItem(table, &item, programs);
            ++taken;
        }
        // An entry the table refused shows in the count at the end; asking after every entry
        // would cost two more list box messages a binding.
        complete = GetHotkeyCount(table) - before == taken;
        ReleaseBlock(values);
    }
    ReleaseBlock(section);
    return complete;
}

// A platform may cap the section it hands out in one call. What loaded from a capped reading is
// whole when the reading key by key agrees at its end: the entry after it is absent and its last
// entry reads the same. Each reading parses the whole file, so the entry after it is asked only
// for its key.
bool LoadedWholeSection(const wchar_t* path, HotkeyTable table)
{
    const int count = GetHotkeyCount(table);
    if (ReadItemKey(path, count) != 0) {
        return false;
    }
    return count == 0 || EntryReads(path, table, count - 1);
}

bool LoadKeyByKey(const wchar_t* path, HotkeyTable table)
{
    bool complete = true;
    HotkeyItem item;
    ReadLists lists = {};
    for (int index = 0; ReadItemKeyByKey(path, index, &item, &lists); ++index) {
        complete = AppendToTable(table, item, lists) && complete;
        ReleaseReadLists(lists);
    }
    ReleaseReadLists(lists);
    return complete;
}

}  // namespace

void DeleteSettingsLeftovers()
{
    wchar_t* path = NewSettingsPath();
    if (path != nullptr) {
        DeleteStrayWorkFiles(path);
    }
    DeleteLeftoverPrivateCopies();
    ReleaseBlock(path);
}

LoadOutcome LoadSettingsFile(HotkeyTable table)
{
    wchar_t* path = NewSettingsPath();
    FoundFile found = {nullptr, 0, {}, GetLastError()};
    if (path != nullptr) {
        // Another program may have written the file within the tick of the clock that the
        // profile functions' parsed copy carries.
        ForgetParsedFile(path);
        found = ReadFoundFile(path);
    }
    SettingsSource source;
    flagNotLoaded = !OpenSettingsSource(path, found, &source);
    LoadOutcome outcome = {1, 0, false, source.failure};
    if (source.found) {
        outcome.enabled = static_cast<int>(GetPrivateProfileIntW(SETTING_SECTION, ENABLE_KEY, 1, source.path));
        outcome.pauseFullscreen = static_cast<int>(GetPrivateProfileIntW(SETTING_SECTION, PAUSE_KEY, 0, source.path));
        bool capped = false;
        bindingsIncomplete = !LoadFromSection(source.path, table, &capped);
        if (!bindingsIncomplete && capped && !LoadedWholeSection(source.path, table)) {
            ClearHotkeyTable(table);
            bindingsIncomplete = !LoadKeyByKey(source.path, table);
        }
    } else {
        // A file that could not be read keeps its bindings as they are.
        bindingsIncomplete = flagNotLoaded;
    }
    if (!flagNotLoaded) {
        tableInFile = true;
    }
    outcome.whole = !flagNotLoaded && !bindingsIncomplete;
    // The watch compares the file with the bytes the table came from. A file that could not be
    // read is looked at again until it can; one too large to be read once it changes.
    if (outcome.whole || outcome.failure == ERROR_FILE_TOO_LARGE) {
        RememberFoundFile(&found);
    } else {
        ForgetSettingsFile();
    }
    CloseSettingsSource(source);
    ReleaseBlock(found.bytes);
    ReleaseBlock(path);
    return outcome;
}
