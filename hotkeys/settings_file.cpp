#include "hotkeys/settings_file.h"

#include <windows.h>

#include "hotkeys/hotkey_table.h"
#include "hotkeys/hotkey_window.h"
#include "hotkeys/hotkeys_section.h"
#include "hotkeys/profile_text.h"
#include "hotkeys/safe_save.h"
#include "hotkeys/section_append.h"
#include "hotkeys/settings_encoding.h"
#include "hotkeys/settings_source.h"
#include "hotkeys/stored_items.h"
#include "plugin/plugin_state.h"

// The [hotkeys] section is read with one call and written as one piece of text: key by key, the
// private-profile functions reread or rewrite the whole file for every key, which made loading
// and saving a thousand bindings take seconds on the host's user-interface thread. The reading
// below gives each key the value the key-by-key functions would give it. A platform may cap what
// one call reads, so a reading is checked key by key at its end and done key by key when the
// check fails.
//
// Every save builds the new file in a work copy, where the profile functions delete the old
// bindings and set the flag and the new bindings are appended as text, reads it back, and swaps
// it in whole (safe_save.h). The load reads the file itself, or a private copy of it when the
// profile functions cannot be trusted with it: a UTF-8 file (read in the ANSI code page, or with
// its mark joining the first line) or a path longer than they take.

namespace {

constexpr wchar_t SETTING_SECTION[] = L"setting";
constexpr wchar_t ENABLE_KEY[] = L"enable";
constexpr int NUMBER_CAPACITY = 16;
// A text in the form that reads back exactly: the text, a pair of quotes and the terminator.
constexpr int STORED_VALUE_CAPACITY = TEXT_CAPACITY + 2;
// "item<index>_command=" for the largest index, the stored value and the terminator, and the
// same for the key and the parameter.
constexpr int SAVED_ITEM_CAPACITY = 3 * (ITEM_NAME_CAPACITY + STORED_VALUE_CAPACITY);
// The "name=value" line whose code page the flag's writing needs.
constexpr wchar_t FLAG_LINE[] = L"enable=0\0";

// The most [hotkeys] sections one save deletes; a file edited by hand holds one, rarely two.
constexpr int MAX_SECTION_DELETIONS = 1000;

// Set when the stored bindings could not all be taken into the table (the file could not be
// read, or no memory): the save then leaves the file's [hotkeys] as they are rather than
// replacing them with the part that loaded.
bool bindingsIncomplete;
// Set when the file exists but could not be read: the stored flag stays as it is too.
bool flagNotLoaded;

void* AllocateZeroed(SIZE_T bytes)
{
    return HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, bytes);
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

// Appends the item; false when the table refused it.
bool AppendToLiveTable(const HotkeyItem& item)
{
    const int count = GetHotkeyCount(liveTable);
    AppendHotkeyItem(liveTable, &item);
    return GetHotkeyCount(liveTable) > count;
}

// The section read in one call. False when not all of it could be taken for want of memory.
bool LoadFromSection(const wchar_t* path)
{
    wchar_t* section = ReadHotkeysSection(path);
    if (section == nullptr) {
        return false;
    }
    int lines = 0;
    const wchar_t** values = IndexedSection(section, &lines);
    bool complete = values != nullptr;
    if (complete) {
        const int before = GetHotkeyCount(liveTable);
        int taken = 0;
        HotkeyItem item;
        for (int index = 0; index < lines; ++index) {
            ReadItemFields(values + static_cast<SIZE_T>(index) * FIELD_COUNT, &item);
            if (item.key == 0) {
                break;
            }
            // An entry with an empty command is kept: the user stored it, and dropping it would
            // shift the ids of every later entry.
            AppendHotkeyItem(liveTable, &item);
            ++taken;
        }
        // An entry the table refused shows in the count at the end; asking after every entry
        // would cost two more list box messages a binding.
        complete = GetHotkeyCount(liveTable) - before == taken;
        ReleaseBlock(values);
    }
    ReleaseBlock(section);
    return complete;
}

// A platform may cap the section it hands out in one call. What loaded is whole when the reading
// key by key agrees at its end: the entry after it is absent and its last entry reads the same.
// Each reading parses the whole file, so the entry after it is asked only for its key.
bool LoadedWholeSection(const wchar_t* path)
{
    const int count = GetHotkeyCount(liveTable);
    if (ReadItemKey(path, count) != 0) {
        return false;
    }
    return count == 0 || LastEntryReads(path, count, *GetHotkeyItem(liveTable, count - 1));
}

bool LoadKeyByKey(const wchar_t* path)
{
    bool complete = true;
    HotkeyItem item;
    for (int index = 0; ReadItemKeyByKey(path, index, &item); ++index) {
        complete = AppendToLiveTable(item) && complete;
    }
    return complete;
}

// "name=value" lines for the table, each value in the form that reads back exactly, the list
// closed by a second terminator; null when there is no memory.
wchar_t* FormatSection(int count)
{
    const SIZE_T capacity = static_cast<SIZE_T>(count) * SAVED_ITEM_CAPACITY + 1;
    auto* section = static_cast<wchar_t*>(AllocateZeroed(capacity * sizeof(wchar_t)));
    if (section == nullptr) {
        return nullptr;
    }
    wchar_t* line = section;
    const wchar_t* const end = section + capacity - 1;  // the list's closing terminator stays
    wchar_t value[STORED_VALUE_CAPACITY];
    for (int index = 0; index < count; ++index) {
        const HotkeyItem* item = GetHotkeyItem(liveTable, index);
        FormatText(line, static_cast<int>(end - line), L"item%d_key=%u", index, static_cast<unsigned>(item->key));
        line += TextLength(line) + 1;
        StoredProfileValue(value, TEXT_CAPACITY, item->command);
        FormatText(line, static_cast<int>(end - line), L"item%d_command=%ls", index, value);
        line += TextLength(line) + 1;
        StoredProfileValue(value, TEXT_CAPACITY, item->param);
        FormatText(line, static_cast<int>(end - line), L"item%d_param=%ls", index, value);
        line += TextLength(line) + 1;
    }
    return section;
}

// The last entry as the reading finds it once it is stored: each text in the form it is stored in,
// read back.
void ExpectedLastEntry(int count, HotkeyItem* expected)
{
    const HotkeyItem* last = GetHotkeyItem(liveTable, count - 1);
    expected->key = last->key;
    wchar_t value[STORED_VALUE_CAPACITY];
    StoredProfileValue(value, TEXT_CAPACITY, last->command);
    CopyProfileValue(expected->command, TEXT_CAPACITY, value);
    StoredProfileValue(value, TEXT_CAPACITY, last->param);
    CopyProfileValue(expected->param, TEXT_CAPACITY, value);
}

bool FlagReads(const wchar_t* work)
{
    const int absent = enabledFlag == 0 ? 1 : 0;
    return static_cast<int>(GetPrivateProfileIntW(SETTING_SECTION, ENABLE_KEY, absent, work)) == enabledFlag;
}

// The flag, and the last binding as written with none after it, as the work copy reads. One call
// reads the bindings back; where a platform caps what one call reads, the keys at the end are
// asked one by one.
bool ReadsAsWritten(const wchar_t* work, bool bindings, int count, bool flag)
{
    HotkeyItem expected;
    if (bindings && count > 0) {
        ExpectedLastEntry(count, &expected);
    }
    const bool holds = !bindings || (count == 0 ? ReadItemKey(work, 0) == 0
                                                : SectionEndsWith(work, count, expected) ||
                                                      (ReadItemKey(work, count) == 0 &&
                                                       LastEntryReads(work, count, expected)));
    return holds && (!flag || FlagReads(work));
}

// What the work copy holds on the disk, parsed afresh: a disk that fills up cuts the file without
// every platform saying so. The platform's parsed copy is forgotten afterwards, so that the next
// work copy of the same name, written within the same tick of the clock, is never read from it.
bool WorkCopyHolds(const wchar_t* work, bool bindings, int count, bool flag)
{
    const bool holds = ReadsAsWritten(work, bindings, count, flag);
    ForgetParsedFile(work);
    return holds;
}

// The flag and the bindings (when section is given) written into the work copy; false, with the
// reason in error, when the copy did not take them. The old bindings go first, so that the
// profile functions work on a small file; they then forget it, and the new bindings are appended
// as text and end the file, as they did after the last save, so a save that changes nothing
// leaves the same bytes.
bool ChangeWorkCopy(const wchar_t* work, const wchar_t* section, int count, bool flag, DWORD* error)
{
    if (section != nullptr) {
        DeleteHotkeysSections(work);
    }
    *error = ERROR_SUCCESS;
    if (flag) {
        wchar_t value[NUMBER_CAPACITY];
        FormatText(value, NUMBER_CAPACITY, L"%d", enabledFlag);
        if (!WritePrivateProfileStringW(SETTING_SECTION, ENABLE_KEY, value, work)) {
            *error = GetLastError();
        }
    }
    ForgetParsedFile(work);
    if (*error == ERROR_SUCCESS && section != nullptr && count > 0 && !AppendSection(work, HOTKEYS_SECTION, section)) {
        *error = GetLastError();
    }
    return *error == ERROR_SUCCESS;
}

// The file as it is now, in a form that keeps every text, changed in a work copy and swapped in.
bool SaveThroughWorkCopy(const wchar_t* path, wchar_t* section, int count, bool flag)
{
    DWORD beforeSize = 0;
    BYTE* before = ReadWholeFile(path, &beforeSize);
    if (before == nullptr && !IsMissing(GetLastError())) {
        AbandonSafeSave(nullptr, GetLastError());
        return false;
    }
    DWORD readySize = 0;
    BYTE* ready = ProfileReadyBytes(before, beforeSize, section != nullptr ? section : FLAG_LINE, &readySize);
    wchar_t work[MAX_PATH];
    DWORD error = ERROR_SUCCESS;
    bool saved = false;
    if (ready == nullptr) {
        AbandonSafeSave(nullptr, ERROR_NOT_ENOUGH_MEMORY);
    } else if (BeginSafeSave(path, ready, readySize, work)) {
        if (!ChangeWorkCopy(work, section, count, flag, &error)) {
            AbandonSafeSave(work, error);
        } else if (WorkCopyUnchanged(work, before, beforeSize)) {
            saved = true;
        } else if (WorkCopyHolds(work, section != nullptr, count, flag)) {
            saved = CommitSafeSave(path, work, before, beforeSize);
        } else {
            AbandonSafeSave(work, ERROR_WRITE_FAULT);
        }
    }
    ReleaseBlock(ready);
    ReleaseBlock(before);
    return saved;
}

// One save of the bindings, the flag or both. What the load could not read stays as the file
// has it: a save that may write nothing succeeds at once.
bool SaveSettings(bool bindings, bool flag)
{
    bindings = bindings && !bindingsIncomplete;
    flag = flag && !flagNotLoaded;
    if (!bindings && !flag) {
        return true;
    }
    wchar_t* path = NewSettingsPath();
    const int count = bindings ? GetHotkeyCount(liveTable) : 0;
    wchar_t* section = bindings ? FormatSection(count) : nullptr;
    bool saved = false;
    if (path == nullptr || (bindings && section == nullptr)) {
        AbandonSafeSave(nullptr, ERROR_NOT_ENOUGH_MEMORY);
    } else {
        saved = SaveThroughWorkCopy(path, section, count, flag);
    }
    ReleaseBlock(section);
    ReleaseBlock(path);
    return saved;
}

}  // namespace

void LoadEnabledFlag()
{
    wchar_t* path = NewSettingsPath();
    if (path != nullptr) {
        DeleteStrayWorkCopy(path);
        // Another program may have written the file within the tick of the clock that the
        // profile functions' parsed copy carries.
        ForgetParsedFile(path);
    }
    SettingsSource source;
    flagNotLoaded = !OpenSettingsSource(path, &source);
    enabledFlag = source.found ? static_cast<int>(GetPrivateProfileIntW(SETTING_SECTION, ENABLE_KEY, 1, source.path)) : 1;
    CloseSettingsSource(source);
    ReleaseBlock(path);
}

void LoadHotkeyItems()
{
    // Once the flag could not be read, the file is not waited for a second time.
    if (flagNotLoaded) {
        bindingsIncomplete = true;
        return;
    }
    wchar_t* path = NewSettingsPath();
    SettingsSource source;
    bindingsIncomplete = !OpenSettingsSource(path, &source);
    if (source.found) {
        bindingsIncomplete = !LoadFromSection(source.path);
        if (!bindingsIncomplete && !LoadedWholeSection(source.path)) {
            ClearHotkeyTable(liveTable);
            bindingsIncomplete = !LoadKeyByKey(source.path);
        }
    }
    CloseSettingsSource(source);
    ReleaseBlock(path);
}

bool SaveSettingsFile()
{
    return SaveSettings(true, true);
}

bool SaveHotkeyItems()
{
    return SaveSettings(true, false);
}

bool SaveEnabledFlag()
{
    return SaveSettings(false, true);
}

bool SettingsLoadedWhole()
{
    return !flagNotLoaded && !bindingsIncomplete;
}
